// The editor's "Privacy and addresses" page: the hardware address the network is joined with, the
// metered flag, fixed IPv4 and IPv6 addresses, gateways and name servers, and which of the
// network's access points it takes (a band preference, a pinned BSSID).
#pragma once

#include "ui/profiles/EditProfilePage.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

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
    QCheckBox* PreferHighBand() const { return m_pPreferHigh; }
    QSpinBox* BandFloor() const { return m_pBandFloor; }
    QLineEdit* PinnedBssid() const { return m_pPin; }

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
    QCheckBox* m_pPreferHigh;
    QSpinBox* m_pBandFloor;
    QLineEdit* m_pPin;
};

}  // namespace wavory
