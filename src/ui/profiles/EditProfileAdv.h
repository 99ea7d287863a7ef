// The advanced settings editor: one page of radio parameters, opened from the General page of the
// profile editor. It edits the General page's pending copy of the profile, so that only the outer
// editor's OK writes anything into the profile.
#pragma once

#include <QString>

#include "ui/profiles/ProfileSheet.h"

namespace wavory {

class CEditProfileAdvGen;

class CEditProfileAdv : public CProfileSheet {
    Q_OBJECT
public:
    CEditProfileAdv(const QString& title, CProfile* target, QWidget* parent = nullptr, int firstPage = 0);
    ~CEditProfileAdv() override;

    CEditProfileAdvGen* GeneralPage() const { return m_pGen; }

private:
    CEditProfileAdvGen* m_pGen = nullptr;
};

}  // namespace wavory
