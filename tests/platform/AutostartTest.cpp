// The desktop's autostart entry: written and removed, a system entry overridden by a hidden one,
// entries switched off by the user respected, and the program quoted as the Exec key wants it.
#include "platform/Autostart.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <filesystem>
#include <fstream>

#include "../store/RegTestSupport.h"

namespace wavory {
namespace {

using test::CScratchDir;

QString Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QStringLiteral("<missing>");
}

void WriteEntry(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}

class AutostartTest : public ::testing::Test {
protected:
    CScratchDir m_Dir;
    QString m_Home = QString::fromStdString(m_Dir.Path("home"));
    QString m_System = QString::fromStdString(m_Dir.Path("xdg"));
    CAutostart m_Autostart{m_Home, {QString::fromStdString(m_Dir.Path("none")), m_System}, "wavory"};
    std::string SystemEntry() const { return m_System.toStdString() + "/autostart/wavory.desktop"; }
};

TEST_F(AutostartTest, EnablingWritesTheEntryAndDisablingRemovesIt) {
    QString error;
    EXPECT_FALSE(m_Autostart.IsEnabled());
    ASSERT_TRUE(m_Autostart.SetEnabled(true, error)) << error.toStdString();
    EXPECT_TRUE(m_Autostart.IsEnabled());
    const QString entry = Read(m_Home + "/autostart/wavory.desktop");
    EXPECT_TRUE(entry.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(entry.contains("\nExec=wavory --tray\n"));
    EXPECT_TRUE(entry.contains("\nType=Application\n"));
    EXPECT_FALSE(entry.contains("Hidden"));

    ASSERT_TRUE(m_Autostart.SetEnabled(false, error)) << error.toStdString();
    EXPECT_FALSE(m_Autostart.IsEnabled());
    EXPECT_FALSE(QFile::exists(m_Autostart.UserEntryPath()));
    // Disabling what is not there is no failure.
    EXPECT_TRUE(m_Autostart.SetEnabled(false, error));
}

TEST_F(AutostartTest, ASystemEntryIsOverriddenByAHiddenOneOfTheUser) {
    WriteEntry(SystemEntry(), "[Desktop Entry]\nType=Application\nExec=wavory --tray\n");
    EXPECT_TRUE(m_Autostart.IsEnabled());
    QString error;
    ASSERT_TRUE(m_Autostart.SetEnabled(false, error)) << error.toStdString();
    EXPECT_FALSE(m_Autostart.IsEnabled());
    EXPECT_TRUE(Read(m_Autostart.UserEntryPath()).contains("\nHidden=true\n"));
    EXPECT_TRUE(std::filesystem::exists(SystemEntry()));  // the system's file is not touched

    ASSERT_TRUE(m_Autostart.SetEnabled(true, error)) << error.toStdString();
    EXPECT_TRUE(m_Autostart.IsEnabled());
    EXPECT_FALSE(Read(m_Autostart.UserEntryPath()).contains("Hidden"));
}

TEST_F(AutostartTest, EntriesSwitchedOffCountAsOff) {
    for (const char* off : {"Hidden=true", "X-GNOME-Autostart-enabled=false"}) {
        WriteEntry(m_Autostart.UserEntryPath().toStdString(),
                   std::string("[Desktop Entry]\nType=Application\nExec=wavory --tray\n") + off + "\n");
        EXPECT_FALSE(m_Autostart.IsEnabled()) << off;
        QString error;
        ASSERT_TRUE(m_Autostart.SetEnabled(true, error)) << error.toStdString();
        EXPECT_TRUE(m_Autostart.IsEnabled()) << off;
    }
    // A key of another group does not count.
    WriteEntry(m_Autostart.UserEntryPath().toStdString(),
               "[Desktop Entry]\nExec=wavory --tray\n[Desktop Action x]\nHidden=true\n");
    EXPECT_TRUE(m_Autostart.IsEnabled());
}

TEST_F(AutostartTest, AFailedWriteSaysWhyAndChangesNothing) {
    // A file where the folder should be: no user, root included, can make the folder.
    std::ofstream(m_Dir.Path("file")) << "x";
    CAutostart blocked(QString::fromStdString(m_Dir.Path("file")), {m_System}, "wavory");
    QString error;
    EXPECT_FALSE(blocked.SetEnabled(true, error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(blocked.IsEnabled());
}

TEST(AutostartExecTest, TheProgramIsQuotedAsTheExecKeyWants) {
    EXPECT_EQ(CAutostart::ExecQuoted("wavory"), "wavory");
    EXPECT_EQ(CAutostart::ExecQuoted("/opt/wavory/bin/wavory"), "/opt/wavory/bin/wavory");
    EXPECT_EQ(CAutostart::ExecQuoted("/home/a b/wavory"), "\"/home/a b/wavory\"");
    // Inside quotes " ` $ \ take a backslash, and the value doubles every backslash.
    EXPECT_EQ(CAutostart::ExecQuoted("/x/$HOME\"/w"), "\"/x/\\\\$HOME\\\\\"/w\"");
    EXPECT_EQ(CAutostart::ExecQuoted("/x\\y/w"), "\"/x\\\\\\\\y/w\"");
    // A percent sign would be a field code.
    EXPECT_EQ(CAutostart::ExecQuoted("/100%/wavory"), "/100%%/wavory");
    const CAutostart spaced("/h", {"/d"}, "/home/a b/wavory");
    EXPECT_TRUE(spaced.EntryText().contains("\nExec=\"/home/a b/wavory\" --tray\n"));
}

TEST(AutostartEnvTest, TheFoldersComeFromTheEnvironmentAndRelativeOnesAreIgnored) {
    const QByteArray savedHome = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/somewhere/config");
    EXPECT_EQ(CAutostart().UserEntryPath(), "/somewhere/config/autostart/wavory.desktop");
    qputenv("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(CAutostart().UserEntryPath(), QDir::homePath() + "/.config/autostart/wavory.desktop");
    qputenv("XDG_CONFIG_HOME", savedHome);
}

}  // namespace
}  // namespace wavory
