// The General page of the profile editor: name and network name limits, the channel list for each
// regulatory domain, network mode, Defaults, and the edit-connection and security-only titles.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include "ProfilesUiFixture.h"
#include "driver/Request.h"
#include "ui/profiles/EditProfileAdv.h"

namespace wavory::test {
namespace {

class EditProfileGenTest : public ProfilesUiTest {
protected:
    static std::unique_ptr<CEditProfile> Open(const std::string& name,
                                              const QString& title = "Profile Configuration") {
        return OpenEditor(name, 0, title);
    }
    static void SetRegDomain(uint32_t code) {
        auto block = std::make_unique<KCOM_REQUEST>();
        *block = KCOM_REQUEST{};
        block->code = OID_REG_DOMAIN;
        std::memcpy(block->payload, &code, sizeof code);
        ASSERT_EQ(kcom_exec_oid(block.get()), 0);
        ASSERT_EQ(block->status, 2u);
    }
    static std::vector<std::string> Entries(QComboBox* combo) {
        std::vector<std::string> texts;
        for (int i = 0; i < combo->count(); ++i) texts.push_back(combo->itemText(i).toStdString());
        return texts;
    }
};

TEST_F(EditProfileGenTest, NameTakesOneTo19Characters) {
    // The field's limit, the check and its message agree: 19 characters (not bytes).
    auto profile = Stored("Home", "Lighthouse");
    auto sheet = Open("Home");
    auto* name = Find<QLineEdit>(sheet.get(), CEditProfileGen::IDC_NAME);
    Type(name, QString(25, 'n'));
    EXPECT_EQ(name->text(), QString(19, 'n'));  // the twentieth keystroke is not taken
    m_Messages.m_Shown.clear();
    Type(name, QString());
    EXPECT_FALSE(sheet->ApplyAll());
    EXPECT_EQ(m_Messages.m_Shown, std::vector<std::string>{"Invalid Profile name (1-19 characters)."});
    EXPECT_NE(Mngr().GetProfile("Home"), nullptr);

    // Nineteen characters of more than one byte each are accepted and stored whole.
    const QString harbour = QString::fromUtf8("\xE6\xB8\xAF").repeated(19);
    name->selectAll();
    name->insert(harbour + harbour);  // as typed or pasted: the field keeps nineteen characters
    EXPECT_EQ(name->text(), harbour);
    EXPECT_TRUE(sheet->ApplyAll());
    EXPECT_EQ(g_strEditProfile, harbour.toStdString());

    const std::string nineteen(19, 'n');
    Type(name, QString::fromStdString(nineteen));
    EXPECT_TRUE(sheet->ApplyAll());
    EXPECT_EQ(g_strEditProfile, nineteen);
    EXPECT_EQ(Mngr().GetProfile(nineteen), profile);
    EXPECT_EQ(Mngr().GetProfile("Home"), nullptr);
}

TEST_F(EditProfileGenTest, NetworkNameTakesOneTo32Bytes) {
    auto profile = Stored("Home", "Lighthouse");
    auto sheet = Open("Home");
    Type(Find<QLineEdit>(sheet.get(), CEditProfileGen::IDC_NAME), "Renamed");
    auto* ssid = Find<QLineEdit>(sheet.get(), CEditProfileGen::IDC_SSID);
    // The limit is in bytes, and the message says so: 17 characters of two bytes each are too many.
    const std::pair<QString, std::string> refusals[] = {
        {QString(), "Invalid Network Name (SSID) (1-32 bytes)."},
        {QString(33, 's'), "Invalid Network Name (SSID) (1-32 bytes).\nThis name has 33 bytes."},
        {QString(17, QChar(0xE9)), "Invalid Network Name (SSID) (1-32 bytes).\nThis name has 34 bytes in 17 characters."}};
    for (const auto& [refused, message] : refusals) {
        m_Messages.m_Shown.clear();
        ssid->setText(refused);  // typed keys are ASCII only in the test framework
        EXPECT_FALSE(sheet->ApplyAll());
        EXPECT_EQ(m_Messages.m_Shown, std::vector<std::string>{message});
    }
    // Nothing of a refused confirmation is kept, not even the rename.
    EXPECT_EQ(Mngr().GetProfile("Home"), profile);
    EXPECT_EQ(profile->NetName, "Lighthouse");

    Type(ssid, QString(32, 's'));
    EXPECT_TRUE(sheet->ApplyAll());
    EXPECT_EQ(profile->NetName, std::string(32, 's'));
    EXPECT_EQ(profile->ProfName, "Renamed");
}

TEST_F(EditProfileGenTest, ChannelListFollowsTheRegulatoryDomain) {
    Stored("Cell", "Deckhands", false, false);  // ad hoc: the channel list is in use
    struct {
        uint32_t domain;
        size_t count;
        const char* first;
        const char* last;
    } const cases[] = {
        {0x10, 11, "1 / 2.412 GHz", "11 / 2.462 GHz"}, {0x20, 11, "1 / 2.412 GHz", "11 / 2.462 GHz"},
        {0x30, 13, "1 / 2.412 GHz", "13 / 2.472 GHz"}, {0x31, 2, "10 / 2.457 GHz", "11 / 2.462 GHz"},
        {0x32, 4, "10 / 2.457 GHz", "13 / 2.472 GHz"}, {0x40, 14, "1 / 2.412 GHz", "14 / 2.484 GHz"}};
    for (const auto& c : cases) {
        SetRegDomain(c.domain);
        auto sheet = Open("Cell");
        auto* list = Find<QComboBox>(sheet.get(), CEditProfileGen::IDC_CHANNEL);
        const std::vector<std::string> entries = Entries(list);
        ASSERT_EQ(entries.size(), c.count) << std::hex << c.domain;
        EXPECT_EQ(entries.front(), c.first) << std::hex << c.domain;
        EXPECT_EQ(entries.back(), c.last) << std::hex << c.domain;
        EXPECT_TRUE(list->isEnabled());
    }
    // An adapter that cannot tell its domain nor list its channels gets the widest list of old.
    kccl_sim_set_fault(OID_REG_DOMAIN, KCCL_SIM_FAULT_STATUS, 1);
    kccl_sim_set_fault(OID_CHANNEL_LIST, KCCL_SIM_FAULT_STATUS, 1);
    auto sheet = Open("Cell");
    const std::vector<std::string> entries =
        Entries(Find<QComboBox>(sheet.get(), CEditProfileGen::IDC_CHANNEL));
    ASSERT_EQ(entries.size(), 14u);
    EXPECT_EQ(entries.back(), "14 / 2.484 GHz");  // off the 5 MHz raster
}

TEST_F(EditProfileGenTest, ListedChannelIsTheChannelTheApplySends) {
    // Spain's list starts at channel 10; its first entry must store the index that applies channel 10.
    SetRegDomain(0x31);
    auto profile = Stored("Cell", "Deckhands", false, false);
    {
        auto sheet = Open("Cell");
        EXPECT_EQ(Find<QComboBox>(sheet.get(), CEditProfileGen::IDC_CHANNEL)->currentText(),
                  "10 / 2.457 GHz");
        ASSERT_TRUE(sheet->ApplyAll());
    }
    EXPECT_EQ(profile->PhyChnl, 9);
    kccl_sim_clear_log();
    ASSERT_TRUE(CStation(*profile).Connect(CStation::CONNECT_APPLY));
    KCCL_SIM_LOG_ENTRY log[16];
    const int n = kccl_sim_get_log(log, 16);
    int channel = -1;
    for (int i = 0; i < n; ++i)
        if (log[i].code == OID_CHANNEL_SET) channel = log[i].head[8];
    EXPECT_EQ(channel, 10);

    profile->PhyChnl = 10;  // opens on the entry of channel 11
    auto sheet = Open("Cell");
    EXPECT_EQ(Find<QComboBox>(sheet.get(), CEditProfileGen::IDC_CHANNEL)->currentText(), "11 / 2.462 GHz");
}

TEST_F(EditProfileGenTest, FiveGigahertzListShowsTheAppliedChannels) {
    auto profile = Stored("Quay", "Quayside-5G");
    profile->PhyType = 0;
    profile->PhyChnl = 8;
    auto sheet = Open("Quay");
    auto* list = Find<QComboBox>(sheet.get(), CEditProfileGen::IDC_CHANNEL);
    const std::vector<std::string> entries = Entries(list);
    // FCC: 36 to 64, 100 to 144, 149 to 165, and the 6 GHz band (channel 2, then 1 to 233).
    ASSERT_EQ(entries.size(), 8u + 12u + 5u + 60u);
    EXPECT_EQ(entries[0], "36 / 5.180 GHz");
    EXPECT_EQ(entries[7], "64 / 5.320 GHz - join only");  // radar detection: no own cell
    EXPECT_EQ(entries[24], "165 / 5.825 GHz");
    EXPECT_EQ(entries[25], "2 / 5.935 GHz (6 GHz band) - join only");
    EXPECT_EQ(entries.back(), "233 / 7.115 GHz (6 GHz band) - join only");
    EXPECT_EQ(list->currentText(), "149 / 5.745 GHz");
    EXPECT_FALSE(list->isEnabled());  // infrastructure

    SetRegDomain(0x30);  // ETSI: no upper 5 GHz band, the lower 6 GHz part; the stored index is not offered
    auto etsi = Open("Quay");
    EXPECT_EQ(Find<QComboBox>(etsi.get(), CEditProfileGen::IDC_CHANNEL)->count(), 8 + 11 + 24);
    EXPECT_EQ(Find<QComboBox>(etsi.get(), CEditProfileGen::IDC_CHANNEL)->currentIndex(), 0);
}

TEST_F(EditProfileGenTest, SixGigahertzChannelIsStoredWithItsFrequency) {
    auto profile = Stored("Six", "Marina-6E", false, false);
    {
        auto sheet = Open("Six");
        Click(sheet.get(), CEditProfileGen::IDC_PHY_A);
        auto* list = Find<QComboBox>(sheet.get(), CEditProfileGen::IDC_CHANNEL);
        const int row = list->findText("5 / 5.975 GHz (6 GHz band) - join only");
        ASSERT_GE(row, 0);
        list->setCurrentIndex(row);
        ASSERT_TRUE(sheet->ApplyAll());
    }
    EXPECT_EQ(profile->PhyType, 0);
    EXPECT_EQ(profile->PhyFreq, 5975);
    EXPECT_EQ(profile->ChannelNumber(), 5);
    // Opened again, the ad-hoc profile shows its 6 GHz channel, not 2.4 GHz channel 5 nor 36.
    auto sheet = Open("Six");
    EXPECT_TRUE(Find<QRadioButton>(sheet.get(), CEditProfileGen::IDC_PHY_A)->isChecked());
    EXPECT_EQ(Find<QComboBox>(sheet.get(), CEditProfileGen::IDC_CHANNEL)->currentText(),
              "5 / 5.975 GHz (6 GHz band) - join only");
    // The channel the apply sends carries the frequency.
    kccl_sim_clear_log();
    CStation(*profile).Connect(CStation::CONNECT_APPLY);
    KCCL_SIM_LOG_ENTRY log[16];
    const int n = kccl_sim_get_log(log, 16);
    uint32_t size = 0, freq = 0;
    for (int i = 0; i < n; ++i) {
        if (log[i].code != OID_CHANNEL_SET) continue;
        std::memcpy(&size, log[i].head + KCOM_CHANNEL_RECORD_SIZE, 4);
        std::memcpy(&freq, log[i].head + KCOM_CHANNEL_FREQ, 4);
    }
    EXPECT_EQ(size, static_cast<uint32_t>(KCOM_CHANNEL_RECORD_FREQ));
    EXPECT_EQ(freq, 5975u);
}

TEST_F(EditProfileGenTest, AdHocRefillsTheListFromItsFirstChannel) {
    auto profile = Stored("Home", "Lighthouse");
    profile->PhyChnl = 5;
    auto sheet = Open("Home");
    auto* list = Find<QComboBox>(sheet.get(), CEditProfileGen::IDC_CHANNEL);
    EXPECT_FALSE(list->isEnabled());
    EXPECT_EQ(list->currentText(), "6 / 2.437 GHz");
    Click(sheet.get(), CEditProfileGen::IDC_ADHOC);
    EXPECT_TRUE(list->isEnabled());
    EXPECT_EQ(list->currentIndex(), 0);
    ASSERT_TRUE(sheet->ApplyAll());
    EXPECT_FALSE(profile->NetMode);
    EXPECT_EQ(profile->PhyChnl, 0);
}

TEST_F(EditProfileGenTest, DefaultsRestoreTheStoredSettingsButKeepTypedNames) {
    auto profile = Stored("Home", "Lighthouse", true);
    profile->PhyChnl = 5;
    profile->PSType = 2;
    auto sheet = Open("Home");
    Type(Find<QLineEdit>(sheet.get(), CEditProfileGen::IDC_NAME), "Typed");
    Type(Find<QLineEdit>(sheet.get(), CEditProfileGen::IDC_SSID), "Elsewhere");
    Click(sheet.get(), CEditProfileGen::IDC_ADHOC);
    QTest::keyClick(Find<QComboBox>(sheet.get(), CEditProfileGen::IDC_CHANNEL), Qt::Key_Down);
    Click(sheet.get(), CEditProfileGen::IDC_AUTO_SELECT);
    QTest::keyClick(Find<QSlider>(sheet.get(), CEditProfileGen::IDC_POWER_SLIDER), Qt::Key_Right);

    Click(sheet.get(), CEditProfileGen::IDC_DEFAULTS);
    EXPECT_TRUE(Find<QRadioButton>(sheet.get(), CEditProfileGen::IDC_INFRASTRUCTURE)->isChecked());
    EXPECT_EQ(Find<QComboBox>(sheet.get(), CEditProfileGen::IDC_CHANNEL)->currentText(), "6 / 2.437 GHz");
    EXPECT_TRUE(Find<QCheckBox>(sheet.get(), CEditProfileGen::IDC_AUTO_SELECT)->isChecked());
    EXPECT_EQ(Find<QSlider>(sheet.get(), CEditProfileGen::IDC_POWER_SLIDER)->value(), 2);
    EXPECT_EQ(Find<QLineEdit>(sheet.get(), CEditProfileGen::IDC_NAME)->text(), "Typed");
    EXPECT_EQ(Find<QLineEdit>(sheet.get(), CEditProfileGen::IDC_SSID)->text(), "Elsewhere");
}

TEST_F(EditProfileGenTest, EditConnectionChangesOnlyPowerSave) {
    CProfile live("", false);
    live.NetName = "Deckhands";
    live.NetMode = false;
    live.PhyChnl = 10;
    live.PSType = 1;
    auto station = std::make_shared<CStation>(live);
    Mngr().SetEditStation(station);
    auto sheet = Open(CProfileMngr::kEditStation, "Edit Connection Parameters");
    EXPECT_TRUE(g_bEditConnection);
    for (int id :
         {CEditProfileGen::IDC_NAME, CEditProfileGen::IDC_SSID, CEditProfileGen::IDC_INFRASTRUCTURE,
          CEditProfileGen::IDC_ADHOC, CEditProfileGen::IDC_AUTO_SELECT, CEditProfileGen::IDC_CHANNEL})
        EXPECT_FALSE(Find<QWidget>(sheet.get(), id)->isEnabled()) << id;
    auto* slider = Find<QSlider>(sheet.get(), CEditProfileGen::IDC_POWER_SLIDER);
    ASSERT_TRUE(slider->isEnabled());
    QTest::keyClick(slider, Qt::Key_Right);
    Click(sheet.get(), CProfileSheet::IDC_OK);
    EXPECT_EQ(sheet->result(), QDialog::Accepted);
    EXPECT_EQ(station->PSType, 2);
    EXPECT_FALSE(station->NetMode);
    EXPECT_EQ(station->NetName, "Deckhands");
    EXPECT_EQ(station->PhyChnl, 10);
}

TEST_F(EditProfileGenTest, TitleChoosesThePages) {
    Stored("Home", "Harbour");
    auto keyOnly = Open("Home", "Enter Security Parameters");
    EXPECT_EQ(keyOnly->PageCount(), 1);
    EXPECT_EQ(keyOnly->GeneralPage(), nullptr);
    EXPECT_FALSE(g_bEditConnection);
    auto full = Open("Home", "Profile Configuration: Home");
    // General and Security, then the network's privacy and address settings.
    EXPECT_EQ(full->PageCount(), 3);
    EXPECT_NE(full->NetworkPage(), nullptr);
}

TEST_F(EditProfileGenTest, AdvancedButtonOpensTheAdvancedEditor) {
    Stored("Home", "Lighthouse");
    auto sheet = Open("Home");
    auto* advanced = Find<QPushButton>(sheet.get(), CEditProfileGen::IDC_ADVANCED);
    ASSERT_TRUE(advanced->isVisible());
    QString title;
    WhenModal<CEditProfileAdv>([&title](CEditProfileAdv& dialog) { title = dialog.windowTitle(); });
    QTest::mouseClick(advanced, Qt::LeftButton);
    EXPECT_EQ(title, "Advanced Profile Edit");
}

}  // namespace
}  // namespace wavory::test
