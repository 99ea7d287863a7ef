// The notification-area icon's record: owner, icon, tip (at most 63 characters) and whether the
// icon is shown. The window supplies the backend that really shows it; changes made while the
// icon is not shown stay in the record and take effect with the next Add.
#pragma once

#include <mutex>
#include <string>

namespace wavory {

inline constexpr int TRAY_ICON_ID = 2;
inline constexpr unsigned WM_TRAYNOTIFY = 42060;
inline constexpr std::size_t kTrayTipMax = 63;

struct SNotifyIconData {
    int id = TRAY_ICON_ID;
    unsigned callbackMessage = WM_TRAYNOTIFY;
    void* owner = nullptr;
    int icon = 0;  // 0 = the system's standard application icon
    std::string tip;
};

class ITrayBackend {
public:
    virtual ~ITrayBackend() = default;
    // Each returns whether the shell accepted the call. Modify may run on the polling thread.
    virtual bool AddIcon(const SNotifyIconData& data) = 0;
    virtual bool ModifyIcon(const SNotifyIconData& data) = 0;
    virtual bool DeleteIcon(const SNotifyIconData& data) = 0;
};

class clsSysTray {
public:
    explicit clsSysTray(ITrayBackend* backend = nullptr) : m_pBackend(backend) {}

    void SetBackend(ITrayBackend* backend);
    void SetOwner(void* owner);
    bool Add();
    void SetIcon(int icon);
    void SetTip(const std::string& text);
    bool Delete();

    bool IsAdded() const;
    SNotifyIconData Record() const;

private:
    mutable std::mutex m_Mutex;  // SetTip runs on the polling thread, the rest on the interface thread
    ITrayBackend* m_pBackend;
    void* m_hOwner = nullptr;
    SNotifyIconData m_nid;
    bool m_bAdded = false;
};

// Cuts a text to at most `max` characters without splitting a UTF-8 sequence.
std::string CutToCharacters(const std::string& text, std::size_t max);

}  // namespace wavory
