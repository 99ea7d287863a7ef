// What every page of the profile editors shares: it loads its controls from the edited profile,
// checks them, and writes them into the profile when the editor is confirmed. The editor checks
// every page before it writes any, so a refused page leaves the profile as it was.
#pragma once

#include <QWidget>
#include <memory>
#include <mutex>

namespace wavory {

class CProfile;

class CEditProfilePage : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

    // Shows the profile's values in the controls.
    virtual void Load(const CProfile& profile) = 0;
    // Null when the controls hold acceptable values. Otherwise the page has told the user what is
    // wrong and answers the control to correct; nothing has changed.
    virtual QWidget* Validate() = 0;
    // Writes the controls into the profile (taking the profile manager's lock for the fields). False
    // keeps the editor open; the page has told the user why.
    virtual bool Apply(CProfile& profile) = 0;

signals:
    // The user changed a value (the editor's Apply button becomes usable).
    void Modified();
};

// The profile the editors work on: the profile manager's answer for g_strEditProfile.
std::shared_ptr<CProfile> EditedProfile();
// A copy of it taken under the manager's lock, to load controls from; null when there is none.
std::unique_ptr<CProfile> EditedSnapshot();
// Held while a page reads or writes profile fields: the polling thread copies stored profiles under
// the profile manager's lock and reads the live connection back into a station under the station
// manager's. Both are taken, stations first.
struct SProfileFieldsLock {
    std::unique_lock<std::recursive_mutex> stations;
    std::unique_lock<std::recursive_mutex> profiles;
};
SProfileFieldsLock LockProfiles();

}  // namespace wavory
