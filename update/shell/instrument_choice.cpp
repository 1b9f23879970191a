#include "update/shell/instrument_choice.h"

#include "update/widgets/box_text.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace ckupdate {
namespace {

constexpr int kColumnPadding = 16;

}  // namespace

TfrmChooseInstrument::TfrmChooseInstrument(QWidget* parent, const QString& title, const QString& text,
                                           const std::vector<SurveyedInstrument>& instruments)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmChooseInstrument"));
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);

    lblText_ = new QLabel(BoxDisplayText(text), this);
    lblText_->setObjectName(QStringLiteral("lblText"));
    lblText_->setTextFormat(Qt::PlainText);
    lblText_->setWordWrap(true);
    layout->addWidget(lblText_);

    lvInstruments_ = new QTreeWidget(this);
    lvInstruments_->setObjectName(QStringLiteral("lvInstruments"));
    lvInstruments_->setRootIsDecorated(false);
    lvInstruments_->setUniformRowHeights(true);
    lvInstruments_->setSelectionMode(QAbstractItemView::SingleSelection);
    lvInstruments_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvInstruments_->header()->setSectionsMovable(false);
    lvInstruments_->setHeaderLabels({tr("Serial number"), tr("Instrument"), tr("Firmware"), tr("USB socket")});
    for (const SurveyedInstrument& s : instruments) new QTreeWidgetItem(lvInstruments_, RowTexts(s));
    for (int c = 0; c < lvInstruments_->columnCount(); ++c) {
        lvInstruments_->resizeColumnToContents(c);
        lvInstruments_->setColumnWidth(c, lvInstruments_->columnWidth(c) + kColumnPadding);
    }
    if (lvInstruments_->topLevelItemCount() > 0) lvInstruments_->setCurrentItem(lvInstruments_->topLevelItem(0));
    layout->addWidget(lvInstruments_, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    btnConnect_ = buttons->addButton(tr("Connect"), QDialogButtonBox::AcceptRole);
    btnConnect_->setObjectName(QStringLiteral("btnConnect"));
    btnConnect_->setDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Cancel"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(lvInstruments_, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
    connect(lvInstruments_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { btnConnect_->setEnabled(current != nullptr); });

    int width = 0;
    for (int c = 0; c < lvInstruments_->columnCount(); ++c) width += lvInstruments_->columnWidth(c);
    resize(qMax(440, width + 60), 260);
}

int TfrmChooseInstrument::Chosen() const {
    QTreeWidgetItem* row = lvInstruments_->currentItem();
    return row != nullptr ? lvInstruments_->indexOfTopLevelItem(row) : -1;
}

QStringList TfrmChooseInstrument::RowTexts(const SurveyedInstrument& s) {
    const QString none = QStringLiteral("----");
    if (s.bootLoader)
        return {tr("no serial number"), tr("boot loader only (interrupted update)"), none, s.where};
    return {s.serial.isEmpty() ? tr("no serial number") : s.serial, s.product.isEmpty() ? none : s.product,
            s.firmware.isEmpty() ? none : s.firmware, s.where};
}

}  // namespace ckupdate
