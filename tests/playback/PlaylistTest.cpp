// The order a folder's clips play in: shuffled rounds, and a round carried on after a
// restart.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "playback/Playlist.h"

namespace {

CPlaylist ListOf(size_t n)
{
    FileNames clips;
    for (size_t i = 0; i < n; ++i)
        clips.Add(("C:\\clips\\" + std::to_string(i) + ".mp4").c_str());
    CPlaylist list;
    list.SetClips(clips);
    return list;
}

// The clips of the rest of the round, from the current one on.
std::vector<size_t> RestOfRound(CPlaylist* pList)
{
    std::vector<size_t> turns = { pList->Current() };
    while (pList->Advance())
        turns.push_back(pList->Current());
    return turns;
}

}  // namespace

TEST(Playlist, ShuffledRoundsHoldEachClipOnceAndNeverRepeatWhereTheyMeet)
{
    for (size_t n : { 1u, 2u, 3u, 7u }) {
        SCOPED_TRACE(n);
        CPlaylist list = ListOf(n);
        list.Begin(true, 12345);
        size_t last = n;
        std::set<std::vector<size_t>> orders;
        for (int round = 0; round < 200; ++round) {
            if (round > 0) {
                size_t peeked = 0;
                std::vector<WORD> peekedOrder;
                if (round % 2)
                    list.PeekNext(&peeked, &peekedOrder);  // as the resume point asks, now and then
                list.NextRound();
                if (round % 2) {
                    EXPECT_EQ(peeked, list.Current());
                    EXPECT_EQ(peekedOrder, list.ShuffledOrder());
                }
            }
            const std::vector<size_t> turns = RestOfRound(&list);
            ASSERT_EQ(n, turns.size());
            EXPECT_EQ(n, std::set<size_t>(turns.begin(), turns.end()).size()) << "round " << round;
            if (n > 1) {
                EXPECT_NE(last, turns.front()) << "round " << round;
            }
            last = turns.back();
            orders.insert(turns);
        }
        if (n >= 3) {
            EXPECT_GT(orders.size(), 2u) << "the same order every round";
        }
    }
}

TEST(Playlist, ARoundGoesOnFromTheClipItStoppedIn)
{
    struct Case {
        const char* what;
        bool shuffle;
        const char* clip;
        std::vector<WORD> saved;
        std::vector<size_t> rest;  // the clips still to come, from the resumed one; empty: any new round
        size_t first;              // the first clip (where rest is empty)
    };
    const Case cases[] = {
        { "in order", false, "C:\\clips\\2.mp4", {}, { 2, 3, 4 }, 2 },
        { "in order, the clip gone", false, "C:\\clips\\9.mp4", {}, { 0, 1, 2, 3, 4 }, 0 },
        { "in order, named in another case", false, "c:\\CLIPS\\3.MP4", {}, { 3, 4 }, 3 },
        { "shuffled, in the saved order", true, "C:\\clips\\1.mp4", { 4, 0, 1, 3, 2 }, { 1, 3, 2 }, 1 },
        { "shuffled, the saved order of another list", true, "C:\\clips\\1.mp4", { 1, 0, 2 }, {}, 1 },
        { "shuffled, a saved order with a repeat", true, "C:\\clips\\1.mp4", { 1, 1, 2, 3, 4 }, {}, 1 },
        { "shuffled, the clip gone", true, "C:\\clips\\7.mp4", { 4, 0, 1, 3, 2 }, {}, 5 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CPlaylist list = ListOf(5);
        list.Begin(c.shuffle, 99, c.clip, c.saved);
        if (!c.rest.empty()) {
            EXPECT_EQ(c.rest, RestOfRound(&list));
            continue;
        }
        if (c.first < 5) {
            EXPECT_EQ(c.first, list.Current());
        }
        const std::vector<size_t> round = RestOfRound(&list);
        EXPECT_EQ(5u, std::set<size_t>(round.begin(), round.end()).size()) << "a whole new round";
    }
}
