// The About box: program name, slogan, product picture, maker's name, version
// and copyright on a white panel, without border or title bar.  A click anywhere
// in it closes it.
#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace ckupdate {

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 446;
    static constexpr int kClientHeight = 528;

    // programPath: the program file whose version the box shows (read once here).
    explicit TfrmAbout(const QString& programPath, QWidget* parent = nullptr);

    // Shows the box modally (topmost); the result is of no use.
    int ShowModal();

    QFrame* Panel1() const { return Panel1_; }
    QLabel* lblTitle() const { return lblTitle_; }
    QLabel* lblQuality() const { return lblQuality_; }
    QLabel* imgLogo() const { return imgLogo_; }
    QFrame* shpImageFrame() const { return shpImageFrame_; }
    QLabel* imgChromatik() const { return imgChromatik_; }
    QLabel* lblCompanyName() const { return lblCompanyName_; }
    QLabel* lblVNumber() const { return lblVNumber_; }
    QLabel* lblCopyright() const { return lblCopyright_; }
    QPushButton* btnOk() const { return btnOk_; }

public slots:
    void CloseControlClick();

protected:
    void showEvent(QShowEvent* event) override;
    void done(int r) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QFrame* Panel1_;
    QLabel* lblTitle_;
    QLabel* lblQuality_;
    QLabel* imgLogo_;
    QFrame* shpImageFrame_;
    QLabel* imgChromatik_;
    QLabel* lblCompanyName_;
    QLabel* lblVNumber_;
    QLabel* lblCopyright_;
    QPushButton* btnOk_;
    bool shownOnce_ = false;
};

}  // namespace ckupdate
