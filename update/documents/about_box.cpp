#include "update/documents/about_box.h"

#include "update/config/settings_store.h"
#include "update/documents/about_pictures.h"
#include "update/widgets/layout_font.h"
#include "update/widgets/window_placement.h"

#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

namespace ckupdate {
namespace {

QFont ArialFont(int pixelSize, bool bold) { return LayoutFont(QStringLiteral("Arial"), pixelSize, bold); }

QFont SmallSansFont() { return LayoutFont(QStringLiteral("MS Sans Serif"), 11); }

QLabel* MakeLabel(QWidget* parent, const char* objectName, const QFont& font, const QColor& colour) {
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(objectName));
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

constexpr int kLogoLeft = 328;

// Sizes an automatically sized label to its text at (left, top).
void PlaceAt(QLabel* label, int left, int top) {
    label->adjustSize();
    label->move(left, top);
}

// Sizes it so that its right edge lies at right.
void PlaceRightAligned(QLabel* label, int right, int top) {
    label->adjustSize();
    label->move(right - label->width(), top);
}

}  // namespace

TfrmAbout::TfrmAbout(const QString& programPath, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      Panel1_(new QFrame(this)),
      lblTitle_(MakeLabel(Panel1_, "lblTitle", ArialFont(21, true), QColor(244, 15, 96))),
      lblQuality_(MakeLabel(Panel1_, "lblQuality", ArialFont(16, true), Qt::black)),
      imgLogo_(new QLabel(Panel1_)),
      shpImageFrame_(new QFrame(Panel1_)),
      imgChromatik_(new QLabel(Panel1_)),
      lblCompanyName_(MakeLabel(Panel1_, "lblCompanyName", ArialFont(16, true), Qt::black)),
      lblVNumber_(MakeLabel(Panel1_, "lblVNumber", SmallSansFont(), Qt::black)),
      lblCopyright_(MakeLabel(Panel1_, "lblCopyright", SmallSansFont(), Qt::black)),
      btnOk_(new QPushButton(Panel1_)) {
    setObjectName(QStringLiteral("frmAbout"));
    setModal(true);
    setFixedSize(kClientWidth, kClientHeight);

    // The panel paints its own white background over the whole box.
    Panel1_->setObjectName(QStringLiteral("Panel1"));
    Panel1_->setGeometry(0, 0, kClientWidth, kClientHeight);
    Panel1_->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1_->setLineWidth(3);
    Panel1_->setAutoFillBackground(true);
    Panel1_->setAttribute(Qt::WA_OpaquePaintEvent, false);
    QPalette white = Panel1_->palette();
    white.setColor(QPalette::Window, Qt::white);
    Panel1_->setPalette(white);
    Panel1_->setCursor(Qt::PointingHandCursor);

    setWindowTitle(tr("TOLA Chromatik Updater") + tr(" - Info"));
    lblTitle_->setText(tr("TOLA Chromatik Updater"));
    lblTitle_->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    lblQuality_->setText(tr("Quality control in dentistry"));
    lblCompanyName_->setText(QLatin1String(kMakerCompanyName));
    lblVNumber_->setText(tr("Version: ") + GetProgramVersionText(programPath));
    lblVNumber_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblCopyright_->setText(tr("Copyright \u00A9 2024 %1. All rights reserved.").arg(QLatin1String(kMakerCompanyName)));
    lblCopyright_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    btnOk_->setObjectName(QStringLiteral("btnOk"));
    btnOk_->setText(tr("Ok"));

    PlaceAt(lblTitle_, 12, 8);
    PlaceAt(lblQuality_, 12, 32);
    // A longer translation of the slogan keeps clear of the logo.
    for (int size = 15; lblQuality_->x() + lblQuality_->width() > kLogoLeft - 4 && size >= 11; --size) {
        lblQuality_->setFont(ArialFont(size, true));
        PlaceAt(lblQuality_, 12, 32);
    }
    imgLogo_->setObjectName(QStringLiteral("imgLogo"));
    imgLogo_->setPixmap(MakerLogo());
    imgLogo_->setGeometry(kLogoLeft, 8, 88, 37);

    shpImageFrame_->setObjectName(QStringLiteral("shpImageFrame"));
    shpImageFrame_->setGeometry(6, 58, 430, 376);
    shpImageFrame_->setFrameStyle(QFrame::Box | QFrame::Plain);
    shpImageFrame_->setLineWidth(2);
    QPalette black = shpImageFrame_->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    shpImageFrame_->setPalette(black);
    // The outline takes no clicks: they fall through to the panel.
    shpImageFrame_->setAttribute(Qt::WA_TransparentForMouseEvents);

    imgChromatik_->setObjectName(QStringLiteral("imgChromatik"));
    imgChromatik_->setGeometry(8, 60, 425, 374);
    imgChromatik_->setAlignment(Qt::AlignCenter);
    imgChromatik_->setPixmap(ProductPicture().scaled(imgChromatik_->size(), Qt::KeepAspectRatio,
                                                     Qt::SmoothTransformation));

    PlaceAt(lblCompanyName_, 8, 440);
    PlaceRightAligned(lblVNumber_, 416, 440);
    PlaceRightAligned(lblCopyright_, 416, 456);
    btnOk_->setGeometry(183, 479, 72, 26);
    btnOk_->setCursor(Qt::ArrowCursor);
    connect(btnOk_, &QPushButton::clicked, this, &TfrmAbout::CloseControlClick);

    for (QWidget* w : {static_cast<QWidget*>(Panel1_), static_cast<QWidget*>(lblTitle_),
                       static_cast<QWidget*>(lblQuality_), static_cast<QWidget*>(imgLogo_),
                       static_cast<QWidget*>(imgChromatik_), static_cast<QWidget*>(lblCompanyName_),
                       static_cast<QWidget*>(lblVNumber_), static_cast<QWidget*>(lblCopyright_)}) {
        w->setCursor(Qt::PointingHandCursor);
        w->installEventFilter(this);
    }

    RestoreWindowPos(*this, false);
}

int TfrmAbout::ShowModal() {
    return exec();
}

void TfrmAbout::showEvent(QShowEvent* event) {
    if (!event->spontaneous() && !shownOnce_) {
        // Centred, on its first showing, in the work area of the monitor that
        // holds its restored position; it cannot be moved afterwards.
        shownOnce_ = true;
        QScreen* screen = QGuiApplication::screenAt(geometry().center());
        if (screen == nullptr) screen = QGuiApplication::primaryScreen();
        if (screen != nullptr) {
            const QRect area = screen->availableGeometry();
            move(area.left() + (area.width() - width()) / 2, area.top() + (area.height() - height()) / 2);
        }
    }
    QDialog::showEvent(event);
}

bool TfrmAbout::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        CloseControlClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmAbout::CloseControlClick() {
    close();
}

void TfrmAbout::done(int r) {
    SaveWindowPos(*this);
    QDialog::done(r);
}

}  // namespace ckupdate
