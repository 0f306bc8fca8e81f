#include <gtest/gtest.h>

#include <string>

#include "plugin/plugin_instance.h"
#include "shell/main_window_frame.h"
#include "support/demo_plugin.h"
#include "support/fake_plugin.h"

namespace {

// The program registers the main window class with its menu resource; these tests
// register their own, with a menu bar of five popups built at WM_CREATE.
bool gWithMenuBar = true;

LRESULT CALLBACK testWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE && gWithMenuBar) {
        HMENU bar = CreateMenu();
        for (const char *title : {"&File", "&Audio", "&Record", "&Plugin", "&Help"}) {
            HMENU popup = CreatePopupMenu();
            AppendMenuA(popup, MF_STRING, 1, "Item");
            AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), title);
        }
        SetMenu(window, bar);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void registerEditorClass() {
    static bool registered = false;
    if (registered) return;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = testWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kMainWindowClass;
    registered = RegisterClassA(&wc) != 0;
    ASSERT_TRUE(registered);
}

RECT workArea() {
    RECT r;
    EXPECT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0));
    return r;
}

SIZE clientSize(HWND window) {
    RECT r;
    GetClientRect(window, &r);
    return {r.right - r.left, r.bottom - r.top};
}

// The outer size a main window has before any fitting.
SIZE createdSize() {
    HWND w = CreateWindowExA(0, kMainWindowClass, kMainWindowTitle,
                             WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 0, 0, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    RECT r;
    GetWindowRect(w, &r);
    DestroyWindow(w);
    return {r.right - r.left, r.bottom - r.top};
}

// Closes the plugin (which closes the editor) and destroys the main window.
void closeAll(PluginInstance &instance) {
    HWND window = instance.editorWindow;
    instance.close();
    if (window != nullptr) DestroyWindow(window);
}

// --- Pure geometry -------------------------------------------------------------

TEST(EditorGeometry, CentreInWorkArea) {
    struct Row {
        RECT work;
        int width, height;
        LONG x, y;
    } rows[] = {
        {{0, 0, 1280, 1024}, 400, 300, 440, 362},
        {{0, 0, 1280, 1024}, 401, 301, 440, 362},     // odd sizes: halves truncate
        {{0, 0, 1281, 1023}, 400, 300, 440, 361},     // odd area
        {{0, 0, 1280, 1024}, 1280, 1024, 0, 0},       // exactly the area
        {{0, 0, 1280, 1024}, 4000, 3000, 0, 0},       // bigger: pinned to the left and top
        {{100, 50, 1380, 1074}, 4000, 300, 100, 412}, // only the width is too big
        {{100, 50, 1380, 1074}, 400, 3000, 540, 50},  // only the height is too big
        {{-1920, 0, 0, 1080}, 400, 300, -1160, 390},  // monitor left of the primary
        {{-1921, -7, 0, 1080}, 401, 301, -1161, 386},  // negative and odd: 1921/2, 1087/2 and 401/2 truncate
        {{-1920, -1080, 0, 0}, 5000, 5000, -1920, -1080},
        {{0, 0, 1280, 1024}, 0, 0, 640, 512},
    };
    for (const Row &r : rows) {
        POINT p = centreInWorkArea(r.work, r.width, r.height);
        EXPECT_EQ(p.x, r.x) << r.work.left << "," << r.work.top << " " << r.width << "x" << r.height;
        EXPECT_EQ(p.y, r.y) << r.work.left << "," << r.work.top << " " << r.width << "x" << r.height;
    }
}

TEST(EditorGeometry, EditorClientSizeRejectsEmptyAndLimitsHugeRectangles) {
    struct Row {
        ERect rect;  // top, left, bottom, right
        int ok, width, height;
    } rows[] = {
        {{0, 0, 300, 400}, 1, 400, 300},
        {{50, 30, 350, 430}, 1, 400, 300},
        {{-20, -10, 280, 390}, 1, 400, 300},
        {{0, 0, 1, 1}, 1, 1, 1},
        {{0, 0, 0, 400}, 0, 0, 0},      // no height
        {{0, 0, 300, 0}, 0, 0, 0},      // no width
        {{300, 400, 0, 0}, 0, 0, 0},    // inverted
        {{0, 0, 32767, 32767}, 1, 32767, 32767},
        {{-32768, -32768, 32767, 32767}, 1, kMaxEditorExtent, kMaxEditorExtent},
    };
    for (const Row &r : rows) {
        int width = -1, height = -1;
        EXPECT_EQ(editorClientSize(&r.rect, &width, &height), r.ok);
        if (r.ok) {
            EXPECT_EQ(width, r.width);
            EXPECT_EQ(height, r.height);
        }
    }
    int width = 0, height = 0;
    EXPECT_EQ(editorClientSize(nullptr, &width, &height), 0);
}

// --- Window sizing with a hand-made plugin ------------------------------------

TEST(EditorWindow, NoEditorMeansNoWindow) {
    registerEditorClass();
    HWND owner = GetDesktopWindow();
    PluginInstance instance;
    EXPECT_EQ(nullptr, createMainWindow(instance, owner));  // no plugin at all
    EXPECT_EQ(instance.parentWindow, owner);
    FakePlugin fake(effFlagsIsSynth);
    instance.effect = &fake.effect;
    EXPECT_EQ(nullptr, createMainWindow(instance, nullptr));
    EXPECT_EQ(instance.editorWindow, nullptr);
    EXPECT_EQ(FindWindowA(kMainWindowClass, nullptr), nullptr);
    EXPECT_TRUE(fake.calls.empty());
    instance.close();
    EXPECT_EQ(fake.opcodes(), std::vector<VstInt32>{effClose});  // and no effEditClose
}

TEST(EditorWindow, OpensTheEditorInAnOwnedHiddenMainWindow) {
    registerEditorClass();
    gWithMenuBar = true;
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);
    FakePlugin fake(effFlagsHasEditor);
    PluginInstance instance;
    instance.effect = &fake.effect;
    ASSERT_NE(nullptr, createMainWindow(instance, owner));
    HWND window = instance.editorWindow;
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(instance.parentWindow, owner);
    EXPECT_EQ(GetWindow(window, GW_OWNER), owner);
    EXPECT_FALSE(IsWindowVisible(window));
    char text[64];
    GetWindowTextA(window, text, sizeof text);
    EXPECT_STREQ(text, "Korvane");
    GetClassNameA(window, text, sizeof text);
    EXPECT_STREQ(text, "EditorWndClass");
    LONG style = GetWindowLongA(window, GWL_STYLE);
    const LONG wanted = WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    EXPECT_EQ(style & wanted, wanted);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_VISIBLE), 0);
    EXPECT_EQ(GetWindowLongA(window, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, 0);

    ASSERT_EQ(fake.opcodes(), (std::vector<VstInt32>{effEditOpen, effEditGetRect}));
    EXPECT_EQ(fake.calls[0].ptr, window);
    EXPECT_NE(fake.calls[1].ptr, nullptr);

    closeAll(instance);
    EXPECT_EQ(fake.count(effEditClose), 1);
    DestroyWindow(owner);
}

struct SizingRow {
    const char *name;
    bool menuBar;
    bool giveRect;
    ERect rect;
};

// Checks the client size, or the unfitted size, and the centred position.
void checkSizing(HWND window, const SizingRow &r, SIZE unfitted) {
    RECT outer;
    GetWindowRect(window, &outer);
    int w = outer.right - outer.left;
    int h = outer.bottom - outer.top;
    int editorW = 0, editorH = 0;
    if (r.giveRect && editorClientSize(&r.rect, &editorW, &editorH)) {
        SIZE client = clientSize(window);
        EXPECT_EQ(client.cx, editorW) << r.name;
        EXPECT_EQ(client.cy, editorH + kStatusStripHeight) << r.name;
    } else {
        EXPECT_EQ(w, unfitted.cx) << r.name;
        EXPECT_EQ(h, unfitted.cy + kStatusStripHeight) << r.name;
    }
    POINT at = centreInWorkArea(workArea(), w, h - kStatusStripHeight);
    EXPECT_EQ(outer.left, at.x) << r.name;
    EXPECT_EQ(outer.top, at.y) << r.name;
}

TEST(EditorWindow, ClientAreaIsTheEditorPlusTheStatusStrip) {
    registerEditorClass();
    const SizingRow rows[] = {
        {"400x300 with menu", true, true, {0, 0, 300, 400}},
        {"400x300 without menu", false, true, {0, 0, 300, 400}},
        {"origin 30,50", true, true, {50, 30, 350, 430}},
        {"negative origin", true, true, {-100, -200, 200, 200}},
        {"odd size", true, true, {0, 0, 333, 517}},
        {"null rectangle", true, false, {0, 0, 300, 400}},
        {"inverted rectangle", true, true, {300, 400, 0, 0}},
        {"empty rectangle", true, true, {0, 0, 0, 0}},
    };
    for (const SizingRow &r : rows) {
        gWithMenuBar = r.menuBar;
        SIZE unfitted = createdSize();
        FakePlugin fake(effFlagsHasEditor);
        fake.giveRect = r.giveRect;
        fake.rect = r.rect;
        PluginInstance instance;
        instance.effect = &fake.effect;
        ASSERT_NE(nullptr, createMainWindow(instance, nullptr)) << r.name;
        EXPECT_EQ(GetMenu(instance.editorWindow) != nullptr, r.menuBar) << r.name;
        checkSizing(instance.editorWindow, r, unfitted);
        closeAll(instance);
    }
    gWithMenuBar = true;
}

TEST(EditorWindow, EditorBiggerThanTheWorkAreaSitsAtItsTopLeft) {
    registerEditorClass();
    gWithMenuBar = true;
    RECT work = workArea();
    for (ERect rect : {ERect{0, 0, 3000, 4000}, ERect{0, 0, 300, 4000}, ERect{0, 0, 3000, 400},
                       ERect{-32768, -32768, 32767, 32767}}) {
        FakePlugin fake(effFlagsHasEditor);
        fake.rect = rect;
        PluginInstance instance;
        instance.effect = &fake.effect;
        ASSERT_NE(nullptr, createMainWindow(instance, nullptr));
        RECT outer;
        GetWindowRect(instance.editorWindow, &outer);
        EXPECT_GE(outer.left, work.left);
        EXPECT_GE(outer.top, work.top);
        int w = rect.right - rect.left, h = rect.bottom - rect.top;
        if (w > work.right - work.left) {
            EXPECT_EQ(outer.left, work.left) << w << "x" << h;
        }
        if (h > work.bottom - work.top) {
            EXPECT_EQ(outer.top, work.top) << w << "x" << h;
        }
        closeAll(instance);
    }
}

TEST(EditorWindow, FitIgnoresMissingWindowOrRectangle) {
    registerEditorClass();
    HWND window = CreateWindowExA(0, kMainWindowClass, kMainWindowTitle, WS_CAPTION | WS_SYSMENU, 10, 20, 200, 100,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    ERect rect = {0, 0, 300, 400};
    fitWindowToEditor(nullptr, &rect);
    fitWindowToEditor(window, nullptr);
    RECT outer;
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.left, 10);
    EXPECT_EQ(outer.top, 20);
    EXPECT_EQ(outer.right - outer.left, 200);
    EXPECT_EQ(outer.bottom - outer.top, 100);
    fitWindowToEditor(window, &rect);  // keeps the top-left corner
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.left, 10);
    EXPECT_EQ(outer.top, 20);
    EXPECT_EQ(clientSize(window).cx, 400);
    EXPECT_EQ(clientSize(window).cy, 300);
    DestroyWindow(window);
}

// --- The real demo module's editor -----------------------------------------------

struct DemoEditorRow {
    const char *name;
    const char *variant;
    const char *size;
    const char *origin;
    int clientW, clientH;  // 0 = unfitted
};

TEST(EditorWindowDemo, SizesTheWindowAroundTheDemoEditor) {
    registerEditorClass();
    gWithMenuBar = true;
    const DemoEditorRow rows[] = {
        {"400x300", nullptr, "400x300", nullptr, 400, 318},
        {"origin 30,50", nullptr, "400x300", "30,50", 400, 318},
        {"null rectangle", "nullrect", "400x300", nullptr, 0, 0},
    };
    for (const DemoEditorRow &r : rows) {
        SIZE unfitted = createdSize();
        DemoSetup demo(r.variant, r.size, r.origin);
        PluginInstance instance;
        ASSERT_EQ(instance.open(demoModulePath().c_str(), 44100.0f, 882), 1) << r.name;
        ASSERT_EQ(instance.hasEditor(), 1) << r.name;
        ASSERT_NE(nullptr, createMainWindow(instance, nullptr)) << r.name;
        HWND window = instance.editorWindow;
        RECT outer;
        GetWindowRect(window, &outer);
        if (r.clientW) {
            SIZE client = clientSize(window);
            EXPECT_EQ(client.cx, r.clientW) << r.name;
            EXPECT_EQ(client.cy, r.clientH) << r.name;
        } else {
            EXPECT_EQ(outer.right - outer.left, unfitted.cx) << r.name;
            EXPECT_EQ(outer.bottom - outer.top, unfitted.cy + kStatusStripHeight) << r.name;
        }
        EXPECT_EQ(demo.logged("dispatch 14").size(), 1u) << r.name;
        closeAll(instance);
        std::vector<std::string> d = demo.logged("dispatch");
        ASSERT_GE(d.size(), 2u);
        EXPECT_EQ(d[d.size() - 2], "dispatch 15 0 0 0") << r.name;
        EXPECT_EQ(d.back(), "dispatch 1 0 0 0") << r.name;
    }
}

TEST(EditorWindowDemo, HugeDemoEditorSitsAtTheWorkAreasTopLeft) {
    registerEditorClass();
    gWithMenuBar = true;
    DemoSetup demo(nullptr, "4000x3000");
    PluginInstance instance;
    ASSERT_EQ(instance.open(demoModulePath().c_str(), 44100.0f, 882), 1);
    ASSERT_NE(nullptr, createMainWindow(instance, nullptr));
    RECT outer;
    GetWindowRect(instance.editorWindow, &outer);
    RECT work = workArea();
    EXPECT_EQ(outer.left, work.left);
    EXPECT_EQ(outer.top, work.top);
    closeAll(instance);
}

TEST(EditorWindowDemo, DemoWithoutEditorGetsNoWindow) {
    registerEditorClass();
    DemoSetup demo("noeditor");
    PluginInstance instance;
    ASSERT_EQ(instance.open(demoModulePath().c_str(), 44100.0f, 882), 1);
    EXPECT_EQ(instance.hasEditor(), 0);
    EXPECT_EQ(nullptr, createMainWindow(instance, nullptr));
    EXPECT_EQ(instance.editorWindow, nullptr);
    EXPECT_TRUE(demo.logged("dispatch 14").empty());
    instance.close();
    EXPECT_TRUE(demo.logged("dispatch 15").empty());
}

}  // namespace
