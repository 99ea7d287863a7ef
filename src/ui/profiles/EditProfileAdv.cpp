#include "ui/profiles/EditProfileAdv.h"

#include "ui/profiles/EditProfileAdvGen.h"

namespace wavory {

CEditProfileAdv::CEditProfileAdv(const QString& title, CProfile* target, QWidget* parent, int firstPage)
    : CProfileSheet(title, parent, target), m_pGen(new CEditProfileAdvGen(this)) {
    AddPage(m_pGen, QStringLiteral("General"));
    LoadPages();
    SetActivePage(firstPage);
}

CEditProfileAdv::~CEditProfileAdv() = default;

}  // namespace wavory
