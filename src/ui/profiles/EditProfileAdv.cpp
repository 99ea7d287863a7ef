#include "ui/profiles/EditProfileAdv.h"

#include "ui/profiles/EditProfileAdvGen.h"

namespace wavory {

CEditProfileAdv::CEditProfileAdv(const QString& title, QWidget* parent, int firstPage)
    : CProfileSheet(title, parent), m_pGen(new CEditProfileAdvGen(this)) {
    AddPage(m_pGen, QStringLiteral("General"));
    LoadPages();
    SetActivePage(firstPage);
}

CEditProfileAdv::~CEditProfileAdv() = default;

}  // namespace wavory
