#include "ui/profiles/EditProfile.h"

#include "base/StringTable.h"
#include "profiles/Profile.h"
#include "profiles/ProfileMngr.h"
#include "shell/Tessal.h"
#include "survey/StationMngr.h"
#include "ui/profiles/EditProfileGen.h"
#include "ui/profiles/EditProfileNet.h"
#include "ui/profiles/EditProfileSec.h"

namespace wavory {

std::string g_strEditProfile;
bool g_bEditConnection = false;

std::shared_ptr<CProfile> EditedProfile() {
    CProfileMngr* mngr = theApp.m_pProfileMngr;
    return mngr ? mngr->GetProfile(g_strEditProfile) : nullptr;
}

std::unique_ptr<CProfile> EditedSnapshot() {
    std::shared_ptr<CProfile> profile = EditedProfile();
    if (!profile) return nullptr;
    auto lock = LockProfiles();
    auto copy = std::make_unique<CProfile>(*profile);
    copy->SetSection(profile->GetSection());
    copy->Priority = profile->Priority;
    return copy;
}

SProfileFieldsLock LockProfiles() {
    SProfileFieldsLock lock;
    if (CStationMngr* stations = theApp.m_pStationMngr) lock.stations = stations->Lock();
    if (CProfileMngr* profiles = theApp.m_pProfileMngr) lock.profiles = profiles->Lock();
    return lock;
}

CEditProfile::CEditProfile(const QString& title, QWidget* parent, int firstPage)
    : CProfileSheet(title, parent) {
    if (CProfileMngr* profiles = theApp.m_pProfileMngr) profiles->BeginEditing();
    g_bEditConnection = title.startsWith(QString::fromStdString(LoadStringId(IDS_EDIT_CONNECTION)));
    m_bKeyPrompt = title.startsWith(QString::fromStdString(LoadStringId(IDS_ENTER_SECURITY)));
    if (!m_bKeyPrompt) {
        m_pGen = new CEditProfileGen(this);
        AddPage(m_pGen, QStringLiteral("General"));
    }
    m_pSec = new CEditProfileSec(this);
    AddPage(m_pSec, QStringLiteral("Security"));
    if (!m_bKeyPrompt) {
        m_pNet = new CEditProfileNet(this);
        AddPage(m_pNet, QStringLiteral("Privacy and addresses"));
    }
    LoadPages();
    SetActivePage(firstPage);
}

CEditProfile::~CEditProfile() {
    if (CProfileMngr* profiles = theApp.m_pProfileMngr) profiles->EndEditing();
}

void CEditProfile::showEvent(QShowEvent* event) {
    CProfileSheet::showEvent(event);
    // The key prompt exists to take a key: typing goes there at once.
    if (m_bKeyPrompt && m_pSec)
        m_pSec->FocusKeyField();
    else if (m_pGen && Page(ActivePage()) == m_pGen && m_pGen->isEnabled())
        m_pGen->FocusName();  // a name typed at once goes into the name, not to OK
}

}  // namespace wavory
