// The Details view of the connection: the network (name, BSSID and how the profile chose it where
// it has a choice, channel and frequency, rates,
// security, signal, the hardware address in use, metered) and the IP side (IPv4 and IPv6 addresses, gateway,
// DNS servers). Opened from the General page; "Refresh" reads everything again.
#pragma once

#include <QDialog>

class QFormLayout;

namespace wavory {

class CConnectionDetails : public QDialog {
    Q_OBJECT
public:
    explicit CConnectionDetails(QWidget* parent = nullptr);

    // Reads the connection and the interface again.
    void Refresh();
    // The value shown for a field ("IPv4 address", "Gateway" …); empty when the field is absent.
    QString Value(const QString& field) const;

    // What a field says when the adapter or the machine does not tell it.
    static constexpr const char* kNotAvailable = "not available";

private:
    void AddRow(const QString& field, const QString& value);

    QFormLayout* m_pForm;
};

}  // namespace wavory
