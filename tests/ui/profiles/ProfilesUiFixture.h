// The application state the Profiles page and the profile editor work on: the real settings store
// in this process's temporary configuration folder, a fresh simulated adapter, the managers and the
// polling thread object (not started: tests drive its ticks), a sink that records message boxes, and
// the page's file dialog and question replaced by scripted answers.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "AppFixture.h"
#include "TestMain.h"
#include "base/Messages.h"
#include "kccl.h"
#include "kccl_sim.h"
#include "monitor/Poll.h"
#include "profiles/ProfileMngr.h"
#include "shell/Tessal.h"
#include "store/SqliteRegistry.h"
#include "survey/Station.h"
#include "survey/StationMngr.h"
#include "ui/profiles/ControlIds.h"
#include "ui/profiles/EditProfile.h"
#include "ui/profiles/EditProfileGen.h"
#include "ui/profiles/MainProfile.h"

namespace wavory::test {

class CMessageLog : public IMessageSink {
public:
    void ShowMessage(const std::string& text, EMsgIcon) override { m_Shown.push_back(text); }
    std::vector<std::string> m_Shown;
};

class ProfilesUiTest : public AppFixture {
protected:
    // The profile editor on the stored profile `name`, shown at `page` (0 General, 1 Security).
    static std::unique_ptr<CEditProfile> OpenEditor(const std::string& name, int page,
                                                    const QString& title = "Profile Configuration") {
        g_strEditProfile = name;
        auto sheet = std::make_unique<CEditProfile>(title, nullptr, page);
        sheet->show();
        return sheet;
    }

    void SetUp() override {
        std::error_code ec;
        std::filesystem::remove_all(std::filesystem::path(TempHome()) / "Wavory", ec);
        std::filesystem::remove_all(FilesDir(), ec);
        std::filesystem::create_directories(FilesDir());
        m_pRegistry = std::make_unique<CSqliteRegistry>();
        ASSERT_NO_FATAL_FAILURE(WireApp({.registry = m_pRegistry.get(), .messages = &m_Messages}));
        theApp.m_bScanning = false;  // the manager's first scan is not under test
        g_strEditProfile.clear();
        g_bEditConnection = false;
        m_SavedAskFile = CMainProfile::s_fnAskFile;
        m_SavedAskYesNo = CMainProfile::s_fnAskYesNo;
        CMainProfile::s_fnAskFile = [this](QWidget*, bool save, const QString&, const QString& filter,
                                           bool* withSecrets) {
            m_FileAsks.emplace_back(save, filter);
            if (withSecrets) *withSecrets = m_bExportSecrets;
            return m_strNextFile;
        };
        CMainProfile::s_fnAskYesNo = [this](QWidget*, const QString& text) {
            m_Questions.push_back(text.toStdString());
            return m_bAnswerYes;
        };
    }

    void TearDown() override {
        QApplication::processEvents();
        CMainProfile::s_fnAskFile = m_SavedAskFile;
        CMainProfile::s_fnAskYesNo = m_SavedAskYesNo;
        UnwireApp();
    }

    static CProfileMngr& Mngr() { return *theApp.m_pProfileMngr; }
    static std::filesystem::path FilesDir() { return std::filesystem::path(TempHome()) / "profile-files"; }

    // A stored profile; a member takes the next auto-selection slot.
    std::shared_ptr<CProfile> Stored(const std::string& name, const std::string& ssid, bool member = false,
                                     bool infrastructure = true) {
        const std::string added = Mngr().AddProfile();
        EXPECT_TRUE(Mngr().RenameProfile(added, name));
        auto profile = Mngr().GetProfile(name);
        profile->NetName = ssid;
        profile->NetMode = infrastructure;
        if (member) {
            profile->AutoSelect = true;
            profile->Priority = Mngr().UpdatePriorities(-1);
        }
        EXPECT_TRUE(Mngr().SaveAll());
        return profile;
    }

    // A shown Profiles page.
    std::unique_ptr<CMainProfile> ShowPage() {
        auto page = std::make_unique<CMainProfile>();
        page->resize(640, 480);
        page->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(page.get()));
        return page;
    }

    template <typename W>
    static W* Find(QObject* root, int id) {
        auto* w = root->findChild<W*>(ControlName(id));
        EXPECT_NE(w, nullptr) << "no control " << id;
        return w;
    }
    static QTreeWidget* List(QWidget& page, int id) { return Find<QTreeWidget>(&page, id); }
    static void Click(QObject* root, int id) {
        QTest::mouseClick(Find<QAbstractButton>(root, id), Qt::LeftButton);
    }
    // A left click on a row, as the user selects it.
    static void ClickRow(QTreeWidget* list, int row) {
        QTreeWidgetItem* item = list->topLevelItem(row);
        ASSERT_NE(item, nullptr) << "no row " << row;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
    }
    // The texts of a list's column.
    static std::vector<std::string> Column(QTreeWidget* list, int column = 0) {
        std::vector<std::string> texts;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            texts.push_back(list->topLevelItem(i)->text(column).toStdString());
        return texts;
    }
    static void Type(QWidget* edit, const QString& text) {
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }

    // Runs action on the modal dialog of type D once it is up (the caller then starts it).
    template <typename D>
    static void WhenModal(std::function<void(D&)> action) {
        auto* timer = new QTimer;
        timer->setInterval(10);
        QObject::connect(timer, &QTimer::timeout, [timer, action] {
            auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget());
            if (!dialog) return;
            timer->stop();
            timer->deleteLater();
            action(*dialog);
            if (dialog->isVisible()) dialog->reject();  // never leave a test hanging in a dialog
        });
        timer->start();
    }

    std::unique_ptr<CSqliteRegistry> m_pRegistry;
    CMessageLog m_Messages;
    QString m_strNextFile;
    bool m_bExportSecrets = true;
    bool m_bAnswerYes = true;
    std::vector<std::pair<bool, QString>> m_FileAsks;
    std::vector<std::string> m_Questions;
    // The page's own file dialog and question, put back at the end of each test.
    CMainProfile::FileDialogHook m_SavedAskFile;
    CMainProfile::QuestionHook m_SavedAskYesNo;
};

}  // namespace wavory::test
