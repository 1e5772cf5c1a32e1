#include "settings/SettingsDlg.h"

#include <array>
#include <cstring>

#include "resources/resource.h"
#include "support/Maker.h"
#include "support/Scoped.h"

namespace {

const char kSoftwareWord[] = "Software";
const char kProductWord[] = "Lumaspire";

const char kClipPathValue[] = "Movie File Path";
const char kResumeClipValue[] = "Resume Clip";
const char kResumePositionValue[] = "Resume Position";
const char kResumeOrderValue[] = "Resume Order";

static_assert(sizeof(int) == sizeof(DWORD) && sizeof(UINT) == sizeof(DWORD),
              "every numeric field is stored as a four-byte DWORD");

struct DwordField {
    const char* name;
    void* data;  // int or UINT, four bytes
};

// The sixteen DWORD values in the order they are saved and loaded.
std::array<DwordField, 16> DwordFields(CSettingsDlg& s)
{
    return { {
        { "View Size Option", &s.m_nViewSizeOption },
        { "View Size Width", &s.m_nCustomWidth },
        { "View Size Height", &s.m_nCustomHeight },
        { "Start Time", &s.m_bStartTime },
        { "Start Hour", &s.m_nStartHour },
        { "Start Minute", &s.m_nStartMinute },
        { "Start Second", &s.m_nStartSecond },
        { "Start Millisecond", &s.m_nStartMillisecond },
        { "End Time", &s.m_bEndTime },
        { "End Hour", &s.m_nEndHour },
        { "End Minute", &s.m_nEndMinute },
        { "End Second", &s.m_nEndSecond },
        { "End Millisecond", &s.m_nEndMillisecond },
        { "Loop Movie", &s.m_bLoop },
        { "Mute", &s.m_bMute },
        { "Auto Update", &s.m_bAutoUpdate },
    } };
}

// The two values after the record's seventeen. A key that never had them is left as an
// older version would leave it: they are written once they are set, and from then on.
std::array<DwordField, 2> LaterFields(CSettingsDlg& s)
{
    return { {
        { "Shuffle", &s.m_bShuffle },
        { "Resume", &s.m_bResume },
    } };
}

void LoadDword(const CRegKey& key, const DwordField& field)
{
    // The type is not checked: any data of up to four bytes is taken. Starting from the
    // field's own value means shorter data only replaces its low bytes, and a failed
    // query (missing, or too long) leaves the field as it was.
    DWORD value;
    memcpy(&value, field.data, sizeof(value));
    DWORD cbValue = sizeof(value);
    if (key.QueryValue(field.name, &value, &cbValue) == ERROR_SUCCESS)
        memcpy(field.data, &value, sizeof(value));
}

CString SettingsKeyPath()
{
    CString path(kSoftwareWord);
    path += '\\';
    path += kMakerWord;
    path += '\\';
    path += kProductWord;
    return path;
}

const ULONGLONG kMaxClipTime = ~0ULL;

// a * b + c, or the largest value when that does not fit in 64 bits.
ULONGLONG MulAddSaturated(ULONGLONG a, ULONGLONG b, ULONGLONG c)
{
    if (b != 0 && a > (kMaxClipTime - c) / b)
        return kMaxClipTime;
    return a * b + c;
}

ULONGLONG ClipTime(UINT hours, UINT minutes, UINT seconds, UINT milliseconds)
{
    // Widened from the first product on: large parts must not wrap at 32 bits. Hours near
    // 2^32 do not fit even in 64 bits of 100 ns units: such a time saturates, so a huge
    // start still compares as later than any end.
    ULONGLONG t = MulAddSaturated(hours, 60, minutes);
    t = MulAddSaturated(t, 60, seconds);
    t = MulAddSaturated(t, 1000, milliseconds);
    return MulAddSaturated(t, 10000, 0);
}

}  // namespace

CSettingsDlg::CSettingsDlg()
    : CScreenSaverDlg(), m_hIcon(nullptr), m_pUpgradeDlg(nullptr), m_nTimerId(0), m_bPromptShown(FALSE)
{
    XVersionInfo versionInfo;
    if (versionInfo.Load(nullptr)) {
        versionInfo.GetVersionRecord(&m_versionRecord);
        versionInfo.Release();
    }
    m_hIcon = ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_MAIN));
    ResetToDefaults();
}

CSettingsDlg::~CSettingsDlg()
{
    // Normally gone with the window already; this covers a window that never existed.
    DeleteUpgradeController();
}

void CSettingsDlg::ResetToDefaults()
{
    m_strClipPath.Empty();
    m_nViewSizeOption = 2;
    m_nCustomWidth = 800;
    m_nCustomHeight = 600;
    m_bLoop = 1;
    m_bMute = 0;
    m_bAutoUpdate = 1;
    m_bStartTime = m_bEndTime = 0;
    m_nStartHour = m_nStartMinute = m_nStartSecond = m_nStartMillisecond = 0;
    m_nEndHour = m_nEndMinute = m_nEndSecond = m_nEndMillisecond = 0;
    m_bShuffle = m_bResume = 0;
}

bool CSettingsDlg::LoadSettings()
{
    ResetToDefaults();

    CRegKey key;
    // Missing on first run, or not ours to write: creating it writes the defaults, or
    // tells us it cannot be done.
    if (key.Open(HKEY_CURRENT_USER, SettingsKeyPath(), KEY_ALL_ACCESS) != ERROR_SUCCESS)
        return SaveSettings();

    // Room for the longest path Windows allows (259 characters) and its terminator, and
    // one byte more than we let the registry fill, so the text is always terminated, even
    // when the stored data has no terminator of its own.
    char path[MAX_PATH + 1] = {};
    DWORD cbPath = MAX_PATH;
    if (key.QueryValue(kClipPathValue, path, &cbPath) == ERROR_SUCCESS && strlen(path) < MAX_PATH)
        m_strClipPath = path;
    else
        m_strClipPath.Empty();  // longer than 259 bytes counts as no path at all

    for (const DwordField& field : DwordFields(*this))
        LoadDword(key, field);
    for (const DwordField& field : LaterFields(*this))
        LoadDword(key, field);
    return true;
}

bool CSettingsDlg::SaveSettings()
{
    CRegKey key;
    if (key.Create(HKEY_CURRENT_USER, SettingsKeyPath(), KEY_ALL_ACCESS) != ERROR_SUCCESS)
        return false;

    // A single failed write is not reported: the rest of the record is still worth saving.
    key.SetValue(kClipPathValue, REG_SZ, m_strClipPath.GetString(),
                 static_cast<DWORD>(m_strClipPath.GetLength()) + 1);
    for (const DwordField& field : DwordFields(*this))
        key.SetValue(field.name, REG_DWORD, field.data, sizeof(DWORD));
    for (const DwordField& field : LaterFields(*this)) {
        DWORD value, stored, cbStored = sizeof(stored);
        memcpy(&value, field.data, sizeof(value));
        if (value || key.QueryValue(field.name, &stored, &cbStored) != ERROR_FILE_NOT_FOUND)
            key.SetValue(field.name, REG_DWORD, &value, sizeof(value));
    }
    return true;
}

void CSettingsDlg::GetClipTimes(ULONGLONG* pStart, ULONGLONG* pEnd) const
{
    if (pStart)
        *pStart = ClipTime(m_nStartHour, m_nStartMinute, m_nStartSecond, m_nStartMillisecond);
    if (pEnd)
        *pEnd = ClipTime(m_nEndHour, m_nEndMinute, m_nEndSecond, m_nEndMillisecond);
}

bool CSettingsDlg::LoadResumePoint(ResumePoint* pPoint) const
{
    CRegKey key;
    if (key.Open(HKEY_CURRENT_USER, SettingsKeyPath(), KEY_QUERY_VALUE) != ERROR_SUCCESS)
        return false;
    char clip[MAX_PATH + 1] = {};
    DWORD cbClip = MAX_PATH;
    LONGLONG position = 0;
    DWORD cbPosition = sizeof(position);
    if (key.QueryValue(kResumeClipValue, clip, &cbClip) != ERROR_SUCCESS || !*clip || strlen(clip) >= MAX_PATH ||
        key.QueryValue(kResumePositionValue, &position, &cbPosition) != ERROR_SUCCESS || position < 0)
        return false;
    pPoint->clip = clip;
    pPoint->position = position;  // eight bytes, or fewer from something else: their low bytes
    pPoint->order.clear();
    DWORD cbOrder = 0;
    if (key.QueryValue(kResumeOrderValue, nullptr, &cbOrder) == ERROR_SUCCESS && cbOrder >= sizeof(WORD) &&
        cbOrder <= 65536 * sizeof(WORD)) {
        pPoint->order.resize(cbOrder / sizeof(WORD));
        cbOrder = static_cast<DWORD>(pPoint->order.size() * sizeof(WORD));
        if (key.QueryValue(kResumeOrderValue, pPoint->order.data(), &cbOrder) != ERROR_SUCCESS)
            pPoint->order.clear();
    }
    return true;
}

bool CSettingsDlg::SaveResumePoint(const ResumePoint& point) const
{
    // Only into a key that is there: the settings own it.
    CRegKey key;
    if (key.Open(HKEY_CURRENT_USER, SettingsKeyPath(), KEY_SET_VALUE) != ERROR_SUCCESS)
        return false;
    const LONGLONG position = point.position;
    // The clip last: a reader that finds it finds the position and order of the same stop.
    const bool written =
        key.SetValue(kResumePositionValue, REG_QWORD, &position, sizeof(position)) == ERROR_SUCCESS &&
        key.SetValue(kResumeOrderValue, REG_BINARY, point.order.data(),
                     static_cast<DWORD>(point.order.size() * sizeof(WORD))) == ERROR_SUCCESS &&
        key.SetValue(kResumeClipValue, REG_SZ, point.clip.GetString(),
                     static_cast<DWORD>(point.clip.GetLength()) + 1) == ERROR_SUCCESS;
    return written;
}
