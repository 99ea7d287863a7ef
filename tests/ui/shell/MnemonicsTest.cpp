// Keyboard mnemonics: within one window, what can be seen at one time never shares an Alt key.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <map>

#include "../support/UiCore.h"
#include "ui/profiles/EditProfile.h"
#include "ui/shell/TessalDlg.h"
#include "ui/survey/ViewSite.h"

namespace wavory::test {
namespace {

// The Alt key of a text ("&Close" -> 'c'), or 0 without one ("&&" is a literal ampersand).
QChar Mnemonic(const QString& text) {
    for (int i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&') continue;
        if (text[i + 1] == '&') {
            ++i;
            continue;
        }
        return text[i + 1].toLower();
    }
    return QChar();
}

// Every Alt key of what the window shows now, with the texts that carry it.
std::map<QChar, QStringList> Mnemonics(QWidget* window) {
    std::map<QChar, QStringList> keys;
    auto add = [&keys](const QString& text) {
        if (const QChar key = Mnemonic(text); !key.isNull()) keys[key] << text;
    };
    for (auto* button : window->findChildren<QAbstractButton*>())
        if (button->isVisibleTo(window)) add(button->text());
    for (auto* label : window->findChildren<QLabel*>())
        if (label->isVisibleTo(window) && label->buddy()) add(label->text());
    for (auto* tabs : window->findChildren<QTabBar*>())
        if (tabs->isVisibleTo(window))
            for (int i = 0; i < tabs->count(); ++i) add(tabs->tabText(i));
    return keys;
}

void ExpectNoClash(QWidget* window, const QString& what) {
    for (const auto& [key, texts] : Mnemonics(window))
        EXPECT_EQ(texts.size(), 1) << what.toStdString() << ": Alt+" << QString(key).toStdString() << " on "
                                   << texts.join(", ").toStdString();
}

using MnemonicsTest = CUiCoreTest;

TEST_F(MnemonicsTest, MainWindowOnEveryPage) {
    CTessalDlg dlg;
    theApp.m_pMainWnd = &dlg;
    dlg.OnInitDialog();
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    for (int page = 0; page < 4; ++page) {
        dlg.SetActivePage(page);
        ExpectNoClash(&dlg, QStringLiteral("main window, page %1").arg(page));
    }
    dlg.OnViewSite();
    ExpectNoClash(dlg.Site(), QStringLiteral("Available Networks"));
    dlg.Site()->hide();
    theApp.m_pMainWnd = nullptr;
}

TEST_F(MnemonicsTest, ProfileEditorOnEachPage) {
    g_strEditProfile = theApp.m_pProfileMngr->AddProfile();
    CEditProfile editor(QStringLiteral("Profile Configuration"), nullptr, 0);
    editor.show();
    auto* tabs = editor.findChild<QTabWidget*>();
    ASSERT_NE(tabs, nullptr);
    for (int page = 0; page < tabs->count(); ++page) {
        tabs->setCurrentIndex(page);
        ExpectNoClash(&editor, QStringLiteral("profile editor, page %1").arg(page));
    }
}

}  // namespace
}  // namespace wavory::test
