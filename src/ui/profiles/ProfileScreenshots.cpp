#include "ui/profiles/ProfileScreenshots.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <memory>

#include "base/StringTable.h"
#include "kccl_oid.h"
#include "profiles/Profile.h"
#include "profiles/ProfileMngr.h"
#include "shell/Tessal.h"
#include "ui/profiles/EditProfile.h"
#include "ui/profiles/EditProfileAdv.h"

namespace wavory {

namespace {

bool Save(QWidget* widget, const QString& folder, const QString& name, QStringList* written) {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
    const QString path = QDir(folder).filePath(name);
    if (!widget->grab().save(path, "PNG")) return false;
    if (written) written->append(path);
    return true;
}

}  // namespace

bool SaveProfileEditorScreenshots(QWidget* parent, const QString& folder, QStringList* written) {
    CProfileMngr* mngr = theApp.m_pProfileMngr;
    if (!mngr) return false;
    // The editor works on the edit station, so the sample never joins the stored profiles.
    CProfile sample("", false);
    sample.ProfName = "Harbour Office";
    sample.NetName = "Harbour";
    sample.NetMode = true;
    sample.PhyChnl = 5;
    sample.AutoSelect = true;
    sample.SecType = 1;
    sample.SecKey[0] = "1A2B3C4D5E";
    sample.ActiveSecKey = 0;
    sample.RTSThreshold = 500;
    sample.UseRTS = true;
    sample.MaxTxPower = 3;
    sample.MacAddress = KCOM_MAC_STABLE;
    sample.Metered = true;
    sample.IPv4Address = "192.0.2.10/24";
    sample.IPv4Gateway = "192.0.2.1";
    sample.DnsServers = "192.0.2.1 2001:db8::1";
    sample.PreferHighBand = true;
    sample.BandFloor = -72;
    const std::shared_ptr<CProfile> previous = mngr->GetProfile(CProfileMngr::kEditStation);
    const std::string previousName = g_strEditProfile;
    mngr->SetEditStation(std::make_shared<CProfile>(sample));
    g_strEditProfile = CProfileMngr::kEditStation;

    bool ok = true;
    {
        CEditProfile editor(QString::fromStdString(LoadStringId(IDS_PROFILE_CONFIGURATION)), parent, 0);
        editor.show();
        ok = Save(&editor, folder, QStringLiteral("profile-general.png"), written) && ok;
        editor.SetActivePage(1);
        ok = Save(&editor, folder, QStringLiteral("profile-security.png"), written) && ok;
        editor.SetActivePage(2);
        ok = Save(&editor, folder, QStringLiteral("profile-privacy.png"), written) && ok;
        editor.hide();
    }
    {
        CEditProfileAdv advanced(QString::fromStdString(LoadStringId(IDS_ADVANCED_PROFILE_EDIT)), nullptr,
                                 parent, 0);
        advanced.show();
        ok = Save(&advanced, folder, QStringLiteral("profile-advanced.png"), written) && ok;
        advanced.hide();
    }
    mngr->SetEditStation(previous);
    g_strEditProfile = previousName;
    g_bEditConnection = false;
    return ok;
}

}  // namespace wavory
