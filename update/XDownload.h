// Fetches a list of files over HTTP (WinInet) into local files on a worker thread of its
// own. The user-interface thread follows the work by polling the counters and stops it
// through a stop flag; the engine shows nothing.
#pragma once

#include <windows.h>

#include "framework/AfxString.h"
#include "support/Scoped.h"

// True for an absolute https address: the only kind the update flow downloads from.
bool IsSecureUrl(const char* pszUrl);

class XDownload {
public:
    XDownload();
    virtual ~XDownload();
    XDownload(const XDownload&) = delete;
    XDownload& operator=(const XDownload&) = delete;

    // The agent of every internet handle opened by the next Start.
    void SetAgent(const char* name);
    // Index of the new item, or -1 once started (nothing is appended). The directory
    // gets a '\\' unless empty or already ending in one; an empty file name is the last
    // segment of the URL's path, and a segment that is not a safe file name (".", "..",
    // a device name, ':' or query text in it...) leaves it empty, so the item fails.
    int AddFile(const char* url, const char* directory, const char* fileName, int cacheable);
    // Before Start: item i takes at most limit bytes. A body (or Content-Length) beyond
    // it fails the item, or, with cut, the first limit bytes are kept and the rest is
    // not read. False for an index outside the list, a negative limit, or once started.
    bool SetSizeLimit(int i, LONG limit, bool cut);
    // Before Start: every reply must come from an https address, also after redirects
    // (the address WinInet finally fetched from); one that did not fails its item.
    void SetSecureOnly(bool secureOnly);
    // The name AddFile gives an item with an empty file name: the last segment of the
    // URL's path, empty when that is no safe file name or the URL cannot be split.
    static CString FileNameFromUrl(const char* url);

    // Starts the worker: first a probe of every item's size, then the downloads. False
    // when already started (until Reset) or when the thread cannot be made. A file
    // longer than 2^31 - 1 bytes fails its item. A busy server (5xx) or a reply cut
    // short is asked again after a second's pause, kMaxAttempts times in all per pass.
    bool Start();
    // Sets the stop flag and waits up to timeoutMs (INFINITE: no limit) for the worker,
    // which notices it after its current call (a blocked one returns at its 10 s
    // time-out) and closes its handles itself. A worker still running after that is
    // left to end on its own; it is never killed, and the partial file it still holds is
    // deleted (at once where the file system allows, else when the worker lets go of it).
    // Returns at once when the stop flag is already set.
    void Stop(DWORD timeoutMs);
    // Stop with a short wait, then back to idle with no items.
    void Reset();

    int GetCount() const;
    CString GetDirectory(int i) const;
    CString GetFileName(int i) const;
    CString GetFilePath(int i) const;
    // Sums of the expected sizes and of the received counts that are not negative.
    LONGLONG GetTotalSize() const;
    LONGLONG GetDownloadedSize() const;
    // downloaded × 100 / total; 0 while the total is unknown. Not clamped.
    double GetPercent() const;
    // i >= 0: the item came whole. i < 0: the download pass went through every item and
    // the engine was not stopped.
    bool IsFinished(int i) const;
    // i >= 0: the item failed. i < 0: any item failed.
    bool IsFailed(int i) const;

    // How long Reset and the destructor wait for a stopped worker.
    static const DWORD kStopWaitMs = 3000;
    // Requests of one item per pass, the first included, before it is given up.
    static const int kMaxAttempts = 4;

private:
    struct Item;
    struct Shared;
    static void Release(Shared* shared);
    static DWORD WINAPI ThreadProc(LPVOID param);
    static bool QueryFileInfo(Shared* shared, int i);
    static bool DownloadFile(Shared* shared, int i);

    Shared* m_shared;  // what the worker uses; it outlives the engine while a worker runs
    char* m_agent;
    int m_started;
    ScopedHandle m_thread;
};
