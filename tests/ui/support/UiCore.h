// The application object as a widget test needs it: a fresh simulated adapter, an in-memory
// settings store, a message sink that records instead of blocking on a modal box, and the managers
// (no polling thread: tests drive its work themselves).
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "AppFixture.h"
#include "MemoryRegistry.h"
#include "base/Messages.h"
#include "driver/Card.h"
#include "kccl_sim.h"
#include "monitor/Poll.h"
#include "profiles/ProfileMngr.h"
#include "shell/Tessal.h"
#include "survey/Station.h"
#include "survey/StationMngr.h"

namespace wavory::test {

class CRecordingSink : public IMessageSink {
public:
    void ShowMessage(const std::string& text, EMsgIcon icon) override { m_Shown.emplace_back(text, icon); }
    std::vector<std::pair<std::string, EMsgIcon>> m_Shown;
};

// What the next modal dialog showed of a text: the labels holding `needle`, and whether each shows
// its text as plain text. The dialog is cancelled once seen, so the call that opened it returns.
struct SModalSeen {
    bool seen = false;
    bool plain = true;
    QStringList texts;
};
inline void CancelNextModal(SModalSeen* seen, const QString& needle) {
    auto* timer = new QTimer;
    timer->setInterval(20);
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, seen, needle, tries] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            if (++*tries > 500) {  // none came: the test reports it
                timer->stop();
                timer->deleteLater();
            }
            return;
        }
        for (QLabel* label : dialog->findChildren<QLabel*>()) {
            if (!label->text().contains(needle)) continue;
            seen->seen = true;
            seen->texts << label->text();
            if (label->textFormat() != Qt::PlainText) seen->plain = false;
        }
        timer->stop();
        timer->deleteLater();
        dialog->reject();
    });
    timer->start();
}

class CUiCoreTest : public AppFixture {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(WireApp({.registry = &m_Registry, .messages = &m_Messages}));
        theApp.SetTrayTip("");  // no tip carried over from an earlier test
    }

    void TearDown() override {
        QApplication::processEvents();
        UnwireApp();
        kccl_sim_set_present(1);
    }

    // Joins a network of the default scenario as the Profiles page does (apply through a station)
    // and makes the station current. Lighthouse is open, 802.11b, channel 11.
    std::shared_ptr<CStation> Connect(const std::string& ssid = "Lighthouse", int phy = 1, int rssi = -66) {
        CProfile profile("", false);
        profile.NetName = ssid;
        profile.NetMode = true;
        profile.PhyType = phy;
        profile.SecType = 0;
        auto station = std::make_shared<CStation>(profile, std::string(), rssi);
        EXPECT_TRUE(station->Connect(CStation::CONNECT_APPLY));
        theApp.m_pStationMngr->SetCurrent(station);
        return station;
    }

public:
    // The text of the label with this control id.
    static QString Text(QWidget* root, int id) {
        auto* label = root->findChild<QLabel*>(QStringLiteral("IDC_%1").arg(id));
        EXPECT_NE(label, nullptr) << "no label " << id;
        return label ? label->text() : QStringLiteral("<missing>");
    }

protected:
    CMemoryRegistry m_Registry;
    CRecordingSink m_Messages;
};

}  // namespace wavory::test
