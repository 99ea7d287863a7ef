// The advanced settings editor: one page of radio parameters of the profile named by
// g_strEditProfile, opened from the General page of the profile editor.
#pragma once

#include <QString>

#include "ui/profiles/ProfileSheet.h"

namespace wavory {

class CEditProfileAdvGen;

class CEditProfileAdv : public CProfileSheet {
    Q_OBJECT
public:
    CEditProfileAdv(const QString& title, QWidget* parent = nullptr, int firstPage = 0);
    ~CEditProfileAdv() override;

    CEditProfileAdvGen* GeneralPage() const { return m_pGen; }

private:
    CEditProfileAdvGen* m_pGen = nullptr;
};

}  // namespace wavory
