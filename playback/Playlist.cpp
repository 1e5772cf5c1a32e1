#include "playback/Playlist.h"

#include <utility>

#include "support/FileList.h"

namespace {

// One table: a folder's clips are the files with these extensions, in any case.
const char* const kClipExtensions[] = {
    "mp4", "m4v", "mov", "mkv", "webm", "avi", "wmv", "asf", "mpg", "mpeg", "vob", "ts", "m2ts", "mts", "flv", "3gp",
};

}  // namespace

const char* const* CPlaylist::Extensions(size_t* pCount)
{
    *pCount = sizeof(kClipExtensions) / sizeof(kClipExtensions[0]);
    return kClipExtensions;
}

void CPlaylist::Load(const char* folder, const volatile LONG* pPlaying)
{
    m_clips.Clear();
    size_t count = 0;
    const char* const* extensions = Extensions(&count);
    const FileListLimits limits = { kMaxDepth, kMaxClips };
    ListFiles(folder, extensions, count, limits, pPlaying, &m_clips);
}

DWORD CPlaylist::Random()
{
    // xorshift32: enough to order clips, and the same on every system.
    DWORD x = m_random;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return m_random = x;
}

void CPlaylist::Shuffle(std::vector<WORD>* pOrder, size_t avoidFirst)
{
    std::vector<WORD>& order = *pOrder;
    order.resize(m_clips.Count());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<WORD>(i);
    for (size_t i = order.size(); i > 1; --i)
        std::swap(order[i - 1], order[Random() % i]);
    // Where one round ends and the next begins, no clip twice in a row.
    if (order.size() > 1 && order[0] == avoidFirst)
        std::swap(order[0], order[1 + Random() % (order.size() - 1)]);
}

void CPlaylist::Begin(bool shuffle, DWORD seed, const char* resumeClip, const std::vector<WORD>& savedOrder)
{
    m_shuffle = shuffle;
    m_random = seed ? seed : 0x9E3779B9u;
    m_turn = 0;
    m_nextOrder.clear();
    const size_t n = m_clips.Count();
    size_t resumed = n;
    for (size_t i = 0; resumeClip && i < n; ++i) {
        if (::lstrcmpiA(m_clips.At(i), resumeClip) == 0) {
            resumed = i;
            break;
        }
    }
    if (!shuffle) {
        m_order.resize(n);
        for (size_t i = 0; i < n; ++i)
            m_order[i] = static_cast<WORD>(i);
        if (resumed < n)
            m_turn = resumed;
        return;
    }
    // A saved order counts only when it is a whole order of this very list.
    bool whole = resumed < n && savedOrder.size() == n;
    std::vector<bool> seen(n, false);
    for (size_t i = 0; whole && i < n; ++i) {
        whole = savedOrder[i] < n && !seen[savedOrder[i]];
        if (whole)
            seen[savedOrder[i]] = true;
    }
    if (whole) {
        m_order = savedOrder;
        for (size_t i = 0; i < n; ++i) {
            if (m_order[i] == resumed)
                m_turn = i;
        }
        return;
    }
    Shuffle(&m_order, n);
    if (resumed < n) {
        for (size_t i = 0; i < n; ++i) {
            if (m_order[i] == resumed)
                std::swap(m_order[i], m_order[0]);
        }
    }
}

bool CPlaylist::Advance()
{
    if (m_turn + 1 >= m_order.size())
        return false;
    ++m_turn;
    return true;
}

void CPlaylist::NextRound()
{
    m_turn = 0;
    if (!m_shuffle)
        return;
    if (m_nextOrder.size() == m_clips.Count()) {
        m_order.swap(m_nextOrder);
        m_nextOrder.clear();
        return;
    }
    const size_t last = m_order.empty() ? m_clips.Count() : m_order.back();
    Shuffle(&m_order, last);
}

void CPlaylist::PeekNext(size_t* pClip, std::vector<WORD>* pOrder)
{
    if (m_turn + 1 < m_order.size()) {
        *pClip = m_order[m_turn + 1];
        *pOrder = ShuffledOrder();
        return;
    }
    if (!m_shuffle) {
        *pClip = m_order.empty() ? 0 : m_order[0];
        pOrder->clear();
        return;
    }
    if (m_nextOrder.size() != m_clips.Count())
        Shuffle(&m_nextOrder, m_order.empty() ? m_clips.Count() : m_order.back());
    *pClip = m_nextOrder.empty() ? 0 : m_nextOrder[0];
    *pOrder = m_nextOrder;
}
