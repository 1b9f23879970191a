// What the Bluetooth dialog's tests share: a settings object, a private data
// folder, a recorder of the automation's reports and of error boxes.
#pragma once

#include "update/bluetooth/bt_discover.h"
#include "update/widgets/error_box.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <cstring>
#include <memory>
#include <vector>

namespace ckupdate::testing {

struct StateRecorder final : ProcessStateReceiver {
    void SetPoMsgThreadState(TProcessState state) override {
        states.push_back(state);
        if (onReport) onReport(state);
    }
    std::vector<TProcessState> states;
    std::function<void(TProcessState)> onReport;
};

inline QString Name(const BT_DEVICE& d) {
    return QString::fromLatin1(d.snBtDeviceName, static_cast<qsizetype>(strnlen(d.snBtDeviceName, sizeof d.snBtDeviceName)));
}
inline QString Address(const BT_DEVICE& d) {
    return QString::fromLatin1(d.snBtAddress, static_cast<qsizetype>(strnlen(d.snBtAddress, sizeof d.snBtAddress)));
}

class DiscoverDialogFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dataDir.isValid());
        QSettings(QSettings::IniFormat, QSettings::UserScope, "TOLA", "CK-Update").clear();
        previousBox = SetErrorBoxHandler([this](QWidget*, const QString& text) { errorBoxes.push_back(text); });
    }
    void TearDown() override { SetErrorBoxHandler(previousBox); }

    TfrmDiscover& Make(CommApi api) {
        dialog = std::make_unique<TfrmDiscover>(api, settings, nullptr, dataDir.path());
        dialog->SetProcessStateReceiver(&recorder);
        return *dialog;
    }

    // Waits (bounded, against a hang) until the search has ended in the dialog.
    void WaitForSearchEnd() { ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->SearchRunning(); }, 20000)); }

    QStringList Rows() const {
        QStringList rows;
        for (int i = 0; i < dialog->lvDevices()->topLevelItemCount(); ++i) {
            rows << dialog->lvDevices()->topLevelItem(i)->text(0) + " | " + dialog->lvDevices()->topLevelItem(i)->text(1);
        }
        return rows;
    }

    QTemporaryDir dataDir;
    ProgramSettings settings;
    StateRecorder recorder;
    std::vector<QString> errorBoxes;
    ErrorBoxHandler previousBox;
    std::unique_ptr<TfrmDiscover> dialog;
};

}  // namespace ckupdate::testing
