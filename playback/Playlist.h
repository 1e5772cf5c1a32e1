// The clips of a folder in the order they play: as Explorer shows their names, or in
// rounds of a random order (each clip once per round, never the same clip twice in a row
// where a round ends and the next begins).
#pragma once

#include <windows.h>

#include <vector>

#include "support/FileList.h"

class CPlaylist {
public:
    // Subfolders listed below the folder, and clips listed at most.
    static const int kMaxDepth = 8;
    static const size_t kMaxClips = 10000;

    // Lists the folder's clips (and its subfolders'); ends early when *pPlaying is cleared.
    void Load(const char* folder, const volatile LONG* pPlaying);
    // The list as given (a test's).
    void SetClips(const FileNames& clips) { m_clips = clips; }
    size_t Count() const { return m_clips.Count(); }
    const char* Clip(size_t index) const { return m_clips.At(index); }

    // The first round: in the list's order, or shuffled with a generator seeded from seed.
    // Then, where resumeClip is one of the list's clips, the round goes on from it: in
    // shuffle mode in savedOrder when that is a whole order of this list (the clips before
    // it are not shown again), else in a new round that begins with it.
    void Begin(bool shuffle, DWORD seed, const char* resumeClip = nullptr,
               const std::vector<WORD>& savedOrder = std::vector<WORD>());

    // The clip whose turn it is (Count() > 0).
    size_t Current() const { return m_order[m_turn]; }
    // The next turn; false when the round is over, and Current() stays.
    bool Advance();
    // Another round: the list's order again, or a new random one that does not begin
    // with the clip the last one ended with.
    void NextRound();

    // The clip after the current one and the order of the round it belongs to (a new
    // round when this one is over), as the next Advance() or NextRound() will have them.
    void PeekNext(size_t* pClip, std::vector<WORD>* pOrder);

    // The round's order as places in the list; empty when not shuffled.
    std::vector<WORD> ShuffledOrder() const { return m_shuffle ? m_order : std::vector<WORD>(); }

    // The extensions of the clips the saver plays, lower case, without the dot.
    static const char* const* Extensions(size_t* pCount);

private:
    void Shuffle(std::vector<WORD>* pOrder, size_t avoidFirst);
    DWORD Random();

    FileNames m_clips;
    std::vector<WORD> m_order;
    std::vector<WORD> m_nextOrder;  // made ahead by PeekNext at a round's end
    size_t m_turn = 0;
    bool m_shuffle = false;
    DWORD m_random = 1;
};
