// The editor's "Privacy and addresses" page: the hardware address the network is joined with, the
// metered flag, and fixed IPv4 and IPv6 addresses, gateways and name servers.
#pragma once

#include "ui/profiles/EditProfilePage.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace wavory {

class CEditProfileNet : public CEditProfilePage {
    Q_OBJECT
public:
    explicit CEditProfileNet(QWidget* parent = nullptr);

    void Load(const CProfile& profile) override;
    QWidget* Validate() override;
    bool Apply(CProfile& profile) override;

    QComboBox* MacMode() const { return m_pMac; }
    QCheckBox* Metered() const { return m_pMetered; }
    QLineEdit* Ipv4() const { return m_pIpv4; }
    QLineEdit* Gateway4() const { return m_pGateway4; }
    QLineEdit* Ipv6() const { return m_pIpv6; }
    QLineEdit* Gateway6() const { return m_pGateway6; }
    QLineEdit* Dns() const { return m_pDns; }

private:
    // The controls' values written into the profile's fields (no lock: the caller's).
    void WriteInto(CProfile& profile) const;

    QComboBox* m_pMac;
    QCheckBox* m_pMetered;
    QLineEdit* m_pIpv4;
    QLineEdit* m_pGateway4;
    QLineEdit* m_pIpv6;
    QLineEdit* m_pGateway6;
    QLineEdit* m_pDns;
};

}  // namespace wavory
