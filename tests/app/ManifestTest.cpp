// The application manifest as Windows reads it from lumaspire.scr, and what it changes on
// a scaled screen (150 %, run by at_dpi.sh; skipped at 96 DPI).
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/ConfigDialogDriver.h"

namespace {

const std::string kAsmV1 = "urn:schemas-microsoft-com:asm.v1";

struct Element {
    std::string name, ns, text;
    std::map<std::string, std::string> attributes;
};

// The elements in document order, each with the namespace it is in. Fails the test where
// Windows XP would refuse the manifest: one attribute or namespace twice in an element,
// or an element its own schema lacks left in that schema's namespace.
std::vector<Element> ReadManifest(const std::string& xml)
{
    const std::set<std::string> xpKnows = { "assembly", "assemblyIdentity", "description", "dependency",
                                            "dependentAssembly" };
    std::vector<Element> elements;
    std::vector<std::pair<std::string, std::string>> open;  // name, namespace
    for (size_t lt = xml.find('<'); lt != std::string::npos; lt = xml.find('<', lt + 1)) {
        size_t gt = xml.find('>', lt);
        std::string tag = xml.substr(lt + 1, gt - lt - 1);
        if (tag[0] == '?' || tag[0] == '!')
            continue;
        if (tag[0] == '/') {
            EXPECT_TRUE(!open.empty() && open.back().first == tag.substr(1)) << "unbalanced </" << tag;
            if (!open.empty())
                open.pop_back();
            continue;
        }
        Element e;
        e.name = tag.substr(0, tag.find_first_of(" \t\r\n/"));
        std::set<std::string> namespaces;
        for (size_t eq = tag.find('='); eq != std::string::npos; eq = tag.find('=', eq + 1)) {
            size_t start = tag.find_last_of(" \t\r\n", eq) + 1, quote = tag.find('"', eq + 2);
            std::string name = tag.substr(start, eq - start), value = tag.substr(eq + 2, quote - eq - 2);
            EXPECT_TRUE(e.attributes.emplace(name, value).second) << name << " twice in <" << e.name << ">";
            bool repeated = name.compare(0, 5, "xmlns") == 0 && !namespaces.insert(value).second;
            EXPECT_FALSE(repeated) << value << " declared twice in <" << e.name << ">";
            eq = quote;
        }
        e.ns = e.attributes.count("xmlns") ? e.attributes["xmlns"] : open.empty() ? "" : open.back().second;
        EXPECT_TRUE(e.ns != kAsmV1 || xpKnows.count(e.name)) << "<" << e.name << "> without a namespace of its own";
        if (tag.back() != '/') {
            open.emplace_back(e.name, e.ns);
            e.text = xml.substr(gt + 1, xml.find('<', gt) - gt - 1);
        }
        elements.push_back(e);
    }
    EXPECT_TRUE(open.empty()) << "unclosed <" << open.back().first << ">";
    return elements;
}

// The system's DPI as this program sees it once it is per-monitor aware itself (it then
// measures the screen in pixels); 96 where the call is missing.
UINT AwareSystemDpi()
{
    HMODULE user32 = ::GetModuleHandleA("user32.dll");
    auto setAwareness = reinterpret_cast<BOOL(WINAPI*)(HANDLE)>(::GetProcAddress(user32, "SetProcessDpiAwarenessContext"));
    auto systemDpi = reinterpret_cast<UINT(WINAPI*)()>(::GetProcAddress(user32, "GetDpiForSystem"));
    if (!setAwareness || !systemDpi)
        return 96;
    setAwareness(reinterpret_cast<HANDLE>(-4));  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
    return systemDpi();
}

bool IsBlack(COLORREF c) { return GetRValue(c) < 50 && GetGValue(c) < 50 && GetBValue(c) < 50; }

}  // namespace

TEST(Manifest, AsksForCommonControls6PerMonitorDpiAndNamesVistaTo11)
{
    HMODULE file = ::LoadLibraryExA(SaverPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(file);
    HRSRC res = ::FindResourceA(file, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
    ASSERT_TRUE(res);
    std::string xml(static_cast<const char*>(::LockResource(::LoadResource(file, res))), ::SizeofResource(file, res));
    ::FreeLibrary(file);

    std::map<std::string, Element> byName;
    std::set<std::string> systems;
    for (const Element& e : ReadManifest(xml)) {
        byName[e.name + (e.name == "assemblyIdentity" ? e.attributes.at("name") : "")] = e;
        if (e.name == "supportedOS")
            systems.insert(e.attributes.at("Id"));
    }
    EXPECT_EQ("6.0.0.0", byName["assemblyIdentityMicrosoft.Windows.Common-Controls"].attributes["version"]);
    EXPECT_EQ("asInvoker", byName["requestedExecutionLevel"].attributes["level"]);
    EXPECT_EQ("urn:schemas-microsoft-com:compatibility.v1", byName["supportedOS"].ns);
    EXPECT_EQ((std::set<std::string>{ "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                                      "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                                      "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}" }),
              systems);
    EXPECT_EQ("urn:schemas-microsoft-com:asm.v3", byName["windowsSettings"].ns);
    EXPECT_EQ("http://schemas.microsoft.com/SMI/2005/WindowsSettings", byName["dpiAware"].ns);
    EXPECT_EQ("true/pm", byName["dpiAware"].text);
    EXPECT_EQ("http://schemas.microsoft.com/SMI/2016/WindowsSettings", byName["dpiAwareness"].ns);
    EXPECT_EQ("PerMonitorV2, PerMonitor", byName["dpiAwareness"].text);
}

// Unaware, the saver got a 683 x 512 screen, and the 320 x 240 clip at its original size
// was stretched to 480 x 360 pixels.
TEST(HighDpi, PictureKeepsItsPixelsAndTheDialogLaysOut)
{
    if (AwareSystemDpi() != 144)
        GTEST_SKIP() << "runs with the prefix at 144 DPI: tests/app/at_dpi.sh";
    ScopedSettingsKey settings;
    ScopedRegValue clip(kSaverSettingsKey, "Movie File Path", (ExeDir() + "clips\\colors.avi").c_str());
    ScopedRegValue view(kSaverSettingsKey, "View Size Option", 1);
    ScopedRegValue update(kSaverSettingsKey, "Auto Update", static_cast<DWORD>(0));
    {
        MoveMouseTo(10, 10);
        SaverProcess saver;
        HWND hWnd = StartFullScreen(saver);
        ASSERT_TRUE(hWnd);
        RECT rc;
        ::GetWindowRect(hWnd, &rc);
        EXPECT_EQ(0, rc.left);
        EXPECT_EQ(0, rc.top);
        EXPECT_EQ(::GetSystemMetrics(SM_CXSCREEN), rc.right);
        EXPECT_EQ(::GetSystemMetrics(SM_CYSCREEN), rc.bottom);
        // The box of a 1024 x 768 screen at 96 DPI: just inside it the picture, just outside black.
        ScreenShot shot;
        const RECT box = { 352, 264, 672, 504 };
        ASSERT_TRUE(PumpUntil([&] { return shot.Capture() && !IsBlack(shot.At(512, 384)); }, 30000));
        for (POINT in : { POINT{ box.left + 3, box.top + 3 }, POINT{ box.right - 4, box.bottom - 4 } })
            EXPECT_FALSE(IsBlack(shot.At(in.x, in.y))) << "inside at " << in.x << "," << in.y;
        for (POINT out : { POINT{ box.left - 4, box.top + 3 }, POINT{ box.right + 3, box.bottom - 4 } })
            EXPECT_TRUE(IsBlack(shot.At(out.x, out.y))) << "outside at " << out.x << "," << out.y;
        PressKey(VK_ESCAPE);
        EXPECT_EQ(0u, saver.WaitExit(10000));
    }
    ConfigDialog dlg;
    ASSERT_TRUE(dlg.Open());
    RECT client;
    ::GetClientRect(dlg.Dlg(), &client);
    ::MapWindowPoints(dlg.Dlg(), nullptr, reinterpret_cast<POINT*>(&client), 2);
    for (HWND h = ::GetWindow(dlg.Dlg(), GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
        RECT rc, both;
        ::GetWindowRect(h, &rc);
        EXPECT_TRUE(::IntersectRect(&both, &rc, &client) && ::EqualRect(&both, &rc)) << "control " << ::GetDlgCtrlID(h);
    }
    EXPECT_EQ("", LayoutFault(dlg.Dlg())) << "at 144 DPI";
    KeepShot("dpi144-settings", dlg.Dlg());

    // The About box keeps its picture's pixels, with every label inside it.
    dlg.PostClick(1023);
    HWND hBox = dlg.WaitForOtherDialog(15000, [](HWND h) {
        return (::GetWindowLongA(h, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0;
    });
    ASSERT_TRUE(hBox) << "no About box";
    RECT box;
    ::GetWindowRect(hBox, &box);
    EXPECT_EQ(400, box.right - box.left);
    EXPECT_EQ(200, box.bottom - box.top);
    PumpFor(500);
    ScreenShot shot;
    ASSERT_TRUE(shot.Capture(&box));
    KeepShot("dpi144-about", shot);
    ::PostMessageA(hBox, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(hBox); }, 5000)) << "Esc left the box open";
    dlg.PostClick(IDCANCEL);
    EXPECT_EQ(0u, dlg.WaitExit());
}
