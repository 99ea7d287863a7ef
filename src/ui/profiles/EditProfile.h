// The profile editor: a tabbed dialog with the General and Security pages and a page of the
// network's privacy and address settings, editing in place the
// profile that the profile manager answers for g_strEditProfile (a stored profile, or the station
// under "EditStation" when the Available Networks dialog opens it).
#pragma once

#include <QString>
#include <string>

#include "ui/profiles/ProfileSheet.h"

namespace wavory {

class CEditProfileGen;
class CEditProfileNet;
class CEditProfileSec;

// Name of the profile being edited; set by the opener before the editor is created. The General
// page updates it when it renames the profile, so the opener finds the profile afterwards.
extern std::string g_strEditProfile;
// The editor was opened to edit the live connection (title "Edit Connection Parameters").
extern bool g_bEditConnection;

class CEditProfile : public CProfileSheet {
    Q_OBJECT
public:
    // The title decides the pages: "Enter Security Parameters" shows only the Security page, and a
    // title beginning with "Edit Connection Parameters" sets g_bEditConnection. firstPage is the
    // index of the page shown first. The result of exec() is Accepted or Rejected. While it is open,
    // the profile manager keeps its records (a reload waits), so the record it edits stays the one
    // the manager holds.
    explicit CEditProfile(const QString& title, QWidget* parent = nullptr, int firstPage = 0);
    ~CEditProfile() override;

    // Null when the editor has no such page.
    CEditProfileGen* GeneralPage() const { return m_pGen; }
    CEditProfileSec* SecurityPage() const { return m_pSec; }
    CEditProfileNet* NetworkPage() const { return m_pNet; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool m_bKeyPrompt = false;
    CEditProfileGen* m_pGen = nullptr;
    CEditProfileSec* m_pSec = nullptr;
    CEditProfileNet* m_pNet = nullptr;
};

}  // namespace wavory
