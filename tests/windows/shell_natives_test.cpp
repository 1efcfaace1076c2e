// The ShellLink, VistaFileChooser, VistaTaskDialog and ObjectPicker natives in-process: links
// written and read back through the shell's own interfaces, the dialogs shown on this
// program's display and driven from a helper thread as a user would drive them, and the
// object picker's selection read from a selection list made here.
#include <windows.h>

#include <commctrl.h>
#include <ole2.h>
#include <objsel.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <jni.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "launchcore/windows/base/handles.h"
#include "natives/jni_conventions.h"
#include "natives/windows/object_picker.h"
#include "testing/dialog_driver.h"
#include "testing/natives_harness/natives_harness.h"
#include "testing/test_files.h"

using namespace natives_harness;

namespace {

using CreateWide = jboolean (*)(JNIEnv*, jobject, jstring, jstring, jstring, jstring, jstring, jboolean, jstring, jint);
using CreateNarrow = jboolean (*)(JNIEnv*, jobject, jstring, jbyteArray, jbyteArray, jbyteArray, jbyteArray, jboolean,
                                  jbyteArray);
using ChangeNotify = jboolean (*)(JNIEnv*, jobject, jbyteArray, jbyteArray);
using ComCall = jboolean (*)(JNIEnv*, jobject);
using DisplayDialog = jobjectArray (*)(JNIEnv*, jobject, jlong, jstring, jstring, jstring, jstring, jint, jint,
                                       jboolean, jstring, jobjectArray, jobjectArray, jint, jobjectArray,
                                       jbooleanArray);
using ShowTaskDialog = jint (*)(JNIEnv*, jobject, jlong, jstring, jstring, jstring, jint, jint, jint, jstring,
                                jobjectArray, jint);
using ShowPicker = jobjectArray (*)(JNIEnv*, jobject, jboolean, jboolean, jboolean, jboolean, jboolean);

std::wstring wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }
std::u16string u16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }
jstring javaText(const std::wstring& text) { return javaString(u16(text)); }
jstring javaTextOrNull(const wchar_t* text) { return text ? javaText(text) : nullptr; }

jbyteArray byteArray(const void* bytes, size_t count)
{
    return static_cast<jbyteArray>(primitiveArray('B', bytes, count));
}

std::vector<std::optional<std::u16string>> textsOf(jobject array)
{
    std::vector<std::optional<std::u16string>> texts;
    for (jobject element : elementsOf(array))
        texts.push_back(textOf(element));
    return texts;
}

// Every field of a saved link, read back through the shell's own interfaces.
constexpr size_t kShowCommandOffset = 0x3C;

struct SavedLink {
    bool loaded = false;
    std::wstring target, directory, icon, arguments, description;
    int iconIndex = -1;
    int showCommand = 0;
    DWORD flags = 0;
};

SavedLink readLink(const std::wstring& file)
{
    SavedLink saved;
    unique_com<IShellLinkW> link;
    unique_com<IPersistFile> persist;
    unique_com<IShellLinkDataList> data;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(link.put()))) ||
        FAILED(link.get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(persist.put()))) ||
        FAILED(persist.get()->Load(file.c_str(), STGM_READ)) ||
        FAILED(link.get()->QueryInterface(IID_IShellLinkDataList, reinterpret_cast<void**>(data.put()))))
        return saved;
    wchar_t text[MAX_PATH] = {};
    link.get()->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
    saved.target = text;
    text[0] = 0;
    link.get()->GetWorkingDirectory(text, MAX_PATH);
    saved.directory = text;
    text[0] = 0;
    link.get()->GetIconLocation(text, MAX_PATH, &saved.iconIndex);
    saved.icon = text;
    text[0] = 0;
    link.get()->GetArguments(text, MAX_PATH);
    saved.arguments = text;
    text[0] = 0;
    link.get()->GetDescription(text, MAX_PATH);
    saved.description = text;
    data.get()->GetFlags(&saved.flags);
    // Wine's link object does not load the show command, so it is read from the file's
    // header, where every shell keeps it.
    const std::string bytes = readTextFile(file);
    if (bytes.size() >= kShowCommandOffset + 4)
        std::memcpy(&saved.showCommand, bytes.data() + kShowCommandOffset, 4);
    saved.loaded = true;
    return saved;
}

// Whether the shell keeps the run-as flag when it saves a link: Wine's writes only the
// flags it derives from the fields, so there the flag cannot be checked in the file.
bool shellKeepsRunAsFlag(const std::wstring& file)
{
    unique_com<IShellLinkW> link;
    unique_com<IPersistFile> persist;
    unique_com<IShellLinkDataList> data;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(link.put()))) ||
        FAILED(link.get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(persist.put()))) ||
        FAILED(link.get()->QueryInterface(IID_IShellLinkDataList, reinterpret_cast<void**>(data.put()))))
        return false;
    link.get()->SetPath(L"C:\\windows\\notepad.exe");
    data.get()->SetFlags(SLDF_RUNAS_USER);
    if (FAILED(persist.get()->Save(file.c_str(), TRUE)))
        return false;
    return (readLink(file).flags & SLDF_RUNAS_USER) != 0;
}

class ShellLinkNatives : public testing::Test {
protected:
    void SetUp() override
    {
        registerProgramNatives();
        EXPECT_EQ(call(boundNative<ComCall>("ShellLink", "initialize0")), JNI_TRUE);
    }
    void TearDown() override
    {
        EXPECT_EQ(call(boundNative<ComCall>("ShellLink", "uninitialize")), JNI_TRUE);
        dropLocalReferences();
    }
    TemporaryFolder folder_{"sldk_links"};
};

TEST_F(ShellLinkNatives, WritesEveryGivenFieldAndTheRunAsFlag)
{
    const auto createWide = boundNative<CreateWide>("ShellLink", "createWide0");
    const auto createNarrow = reinterpret_cast<CreateNarrow>(
        GetProcAddress(GetModuleHandleW(nullptr), "Java_com_sealdeck_runtime_installer_platform_win32_ShellLink_create0"));
    ASSERT_NE(createNarrow, nullptr) << "create0 is exported though never registered";
    const std::wstring target = L"C:\\windows\\notepad.exe";
    const struct {
        const char* name;
        bool narrow;
        bool runAs;
        const wchar_t* icon;
        const wchar_t* arguments;
        const wchar_t* description;
        int show;
    } cases[] = {
        {"wide, every field, run as administrator", false, true, L"C:\\windows\\app.ico", L"-q \"x y\"",
         L"Edit \u00e9 texts", SW_SHOWMINNOACTIVE},
        {"wide, no icon, arguments or description", false, false, nullptr, nullptr, nullptr, SW_SHOWMAXIMIZED},
        {"narrow, every field, run as administrator", true, true, L"C:\\windows\\app.ico", L"-q", L"Edit", SW_SHOWNORMAL},
        {"narrow, nothing optional", true, false, nullptr, nullptr, nullptr, SW_SHOWNORMAL},
    };
    const bool runAsKept = shellKeepsRunAsFlag(wide(folder_ / "probe.lnk"));
    if (!runAsKept)
        std::printf("note: this shell drops the run-as flag on save; it is not checked in the files\n");
    for (const auto& each : cases) {
        SCOPED_TRACE(each.name);
        const std::wstring file = wide(folder_ / (std::string(each.name).substr(0, 6) + std::to_string(each.show) +
                                                  (each.runAs ? "r" : "") + ".lnk"));
        jboolean saved;
        if (!each.narrow) {
            saved = call(createWide, javaText(file), javaText(target), javaText(L"C:\\windows"),
                         javaTextOrNull(each.icon), javaTextOrNull(each.arguments), toJavaBoolean(each.runAs),
                         javaTextOrNull(each.description), each.show);
        } else {
            // The 8-bit texts arrive as byte arrays without their terminating NUL.
            auto bytes = [](const wchar_t* text) -> jbyteArray {
                if (!text)
                    return nullptr;
                const std::string narrow(text, text + wcslen(text));
                return byteArray(narrow.data(), narrow.size());
            };
            saved = call(createNarrow, javaText(file), bytes(target.c_str()), bytes(L"C:\\windows"), bytes(each.icon),
                         bytes(each.arguments), toJavaBoolean(each.runAs), bytes(each.description));
        }
        ASSERT_EQ(saved, JNI_TRUE);
        const SavedLink link = readLink(file);
        ASSERT_TRUE(link.loaded);
        EXPECT_EQ(link.target, target);
        EXPECT_EQ(link.directory, L"C:\\windows");
        EXPECT_EQ(link.icon, each.icon ? each.icon : L"");
        if (each.icon) {
            EXPECT_EQ(link.iconIndex, 0);
        }
        EXPECT_EQ(link.arguments, each.arguments ? each.arguments : L"");
        EXPECT_EQ(link.description, each.description ? each.description : L"");
        EXPECT_EQ(link.showCommand, each.narrow ? SW_SHOWNORMAL : each.show);
        if (runAsKept || !each.runAs) {
            EXPECT_EQ((link.flags & SLDF_RUNAS_USER) != 0, each.runAs);
        }
    }

    // No file to save to, or a folder that does not exist: nothing is saved.
    EXPECT_EQ(call(createWide, nullptr, javaText(target), nullptr, nullptr, nullptr, JNI_TRUE, nullptr, 1), JNI_FALSE);
    const std::wstring nowhere = wide(folder_ / "missing\\x.lnk");
    EXPECT_EQ(call(createWide, javaText(nowhere), javaText(target), nullptr, nullptr, nullptr, JNI_FALSE, nullptr, 1),
              JNI_FALSE);
    EXPECT_EQ(call(createNarrow, javaText(nowhere), nullptr, nullptr, nullptr, nullptr, JNI_TRUE, nullptr), JNI_FALSE);
    EXPECT_EQ(GetFileAttributesW(nowhere.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ShellLinkNatives, ChangeNotificationsTakeAnyByteArray)
{
    const auto changeNotify = boundNative<ChangeNotify>("ShellLink", "changeNotify0");
    const std::wstring path = wide(folder_ / "created.txt");
    const std::u16string unterminated = u16(path);
    const std::u16string terminated = unterminated + u'\0';
    const char oddLength[] = {'C', 0, ':', 0, '\\'};
    const struct {
        const char* name;
        jbyteArray item;
        jbyteArray folder;
    } cases[] = {
        {"terminated", byteArray(terminated.data(), terminated.size() * 2), byteArray(terminated.data(), 0)},
        {"without terminators", byteArray(unterminated.data(), unterminated.size() * 2),
         byteArray(unterminated.data(), unterminated.size() * 2)},
        {"odd lengths", byteArray(oddLength, sizeof oddLength), byteArray(oddLength, 1)},
        {"null arrays", nullptr, nullptr},
        {"one null array", nullptr, byteArray(terminated.data(), terminated.size() * 2)},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.name);
        EXPECT_EQ(call(changeNotify, each.item, each.folder), JNI_TRUE);
    }
    // A failed read of the array ends the call with the exception left for Java.
    failCall("GetByteArrayRegion", 0);
    EXPECT_EQ(call(changeNotify, cases[0].item, cases[0].folder), JNI_TRUE);
    clearException();
}

// --- dialogs ------------------------------------------------------------------------------

// Moves the calling thread to the desktop of this run's display (once per thread; both the
// native's thread and the helper that drives its dialog must see the same windows). The
// default desktop may have been made without a display, and then shows no windows.
void joinDialogDesktop()
{
    thread_local const bool joined = [] {
        wchar_t display[64] = L"";
        GetEnvironmentVariableW(L"DISPLAY", display, 64);
        std::wstring desktop = L"sldk-dialogs";
        for (const wchar_t* p = display; *p; ++p)
            desktop.push_back(iswalnum(*p) ? *p : L'-');
        return useDesktop(desktop);
    }();
    EXPECT_TRUE(joined) << "cannot switch to the dialog desktop";
}

std::vector<HWND> descendants(HWND window)
{
    std::vector<HWND> found;
    EnumChildWindows(
        window,
        [](HWND child, LPARAM list) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND descendantWithText(HWND window, const std::wstring& className, const std::wstring& text)
{
    for (HWND child : descendants(window))
        if (lstrcmpiW(windowClassName(child).c_str(), className.c_str()) == 0 && windowText(child) == text)
            return child;
    return nullptr;
}

// Runs the user's part on a helper thread while the native blocks this one, and closes what
// it left open so that a failing test cannot hang.
class DialogUser {
public:
    explicit DialogUser(std::function<void(HWND dialog)> act)
        : done_(std::async(std::launch::async, [act] {
              joinDialogDesktop();
              const HWND dialog = waitForDialog(GetCurrentProcessId(), 10000);
              if (!dialog)
                  return false;
              act(dialog);
              for (int i = 0; i < 50 && IsWindow(dialog); ++i)
                  Sleep(100);
              if (!IsWindow(dialog))
                  return true;
              PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
              return false;
          }))
    {
    }
    // Whether a dialog appeared and the user's part ended it.
    bool finished() { return done_.get(); }

private:
    std::future<bool> done_;
};

class FileChooserDesktop : public testing::Test {
protected:
    void SetUp() override
    {
        joinDialogDesktop();
        registerProgramNatives();
        CoInitialize(nullptr);
        writeTextFile(folder_ / "existing.txt", "x");
    }
    void TearDown() override
    {
        CoUninitialize();
        dropLocalReferences();
    }
    jobjectArray show(bool save, jobjectArray labels, jbooleanArray states, jobjectArray names = nullptr,
                      jobjectArray patterns = nullptr, jint options = 0)
    {
        return call(boundNative<DisplayDialog>("VistaFileChooser", "displayDialog0"), jlong{0},
                    javaText(L"Choose the folder"), javaText(L"Take it"), javaText(wide(folder_.path())), nullptr,
                    options, 0, toJavaBoolean(save), javaText(L"txt"), names, patterns, 0, labels, states);
    }
    // Types the name, toggles the check box and presses the OK button.
    static void choose(HWND dialog, const std::wstring& name, const wchar_t* toggle)
    {
        if (toggle)
            if (HWND box = descendantWithText(dialog, L"Button", toggle))
                SendMessageW(box, BM_CLICK, 0, 0);
        for (HWND child : descendants(dialog))
            if (lstrcmpiW(windowClassName(child).c_str(), L"Edit") == 0 && IsWindowVisible(child)) {
                SendMessageW(child, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
                break;
            }
        pressButton(dialog, L"Take it");
    }
    TemporaryFolder folder_{"sldk_chooser"};
};

TEST_F(FileChooserDesktop, ReturnsTheChosenPathAndTheCheckBoxStates)
{
    std::wstring caption;
    bool grouped = false;
    bool typesShown = false;
    DialogUser user([&](HWND dialog) {
        caption = windowText(dialog);
        grouped = descendantWithText(dialog, L"Static", L"Options:") != nullptr ||
                  descendantWithText(dialog, L"Button", L"Options:") != nullptr;
        for (HWND child : descendants(dialog))
            if (lstrcmpiW(windowClassName(child).c_str(), L"ComboBox") == 0) {
                const auto count = SendMessageW(child, CB_GETCOUNT, 0, 0);
                for (LRESULT i = 0; i < count; ++i) {
                    wchar_t item[200] = {};
                    if (SendMessageW(child, CB_GETLBTEXTLEN, i, 0) < 199)
                        SendMessageW(child, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
                    typesShown = typesShown || std::wstring(item).find(L"Texts") != std::wstring::npos;
                }
            }
        choose(dialog, L"chosen", L"Start it");
    });
    // Three names but two patterns, two labels but one state: only what pairs up is used,
    // and nothing is written past the one state.
    const jbooleanArray states = static_cast<jbooleanArray>(primitiveArray<jboolean>('Z', {JNI_TRUE}));
    const jobjectArray paths =
        show(true, stringArray({u"Keep it", u"Start it"}), states, stringArray({u"Texts", u"All", u"Third"}),
             stringArray({u"*.txt", u"*.*"}));
    ASSERT_TRUE(user.finished());
    EXPECT_EQ(caption, L"Choose the folder");
    EXPECT_TRUE(grouped) << "two check boxes sit in the \"Options:\" group";
    EXPECT_TRUE(typesShown);
    ASSERT_NE(paths, nullptr);
    EXPECT_EQ(textsOf(paths), (std::vector<std::optional<std::u16string>>{u16(wide(folder_ / "chosen.txt"))}));
    EXPECT_EQ(primitiveBytes(states), std::vector<unsigned char>{1}) << "the paired state is read back";
}

TEST_F(FileChooserDesktop, OpenDialogWithOneCheckBoxAndCancel)
{
    bool grouped = true;
    DialogUser user([&](HWND dialog) {
        grouped = descendantWithText(dialog, L"Static", L"Options:") != nullptr ||
                  descendantWithText(dialog, L"Button", L"Options:") != nullptr;
        choose(dialog, L"existing.txt", L"Only this");
    });
    const jbooleanArray states = static_cast<jbooleanArray>(primitiveArray<jboolean>('Z', {JNI_FALSE, JNI_TRUE}));
    const jobjectArray paths = show(false, stringArray({u"Only this"}), states);
    ASSERT_TRUE(user.finished());
    EXPECT_FALSE(grouped) << "a single check box has no group";
    EXPECT_EQ(textsOf(paths), (std::vector<std::optional<std::u16string>>{u16(wide(folder_ / "existing.txt"))}));
    EXPECT_EQ(primitiveBytes(states), (std::vector<unsigned char>{1, 1})) << "toggled; the unpaired one untouched";

    DialogUser canceller([](HWND dialog) { pressButton(dialog, L"Cancel"); });
    EXPECT_EQ(show(false, stringArray({u"Only this"}), states), nullptr);
    ASSERT_TRUE(canceller.finished());
    EXPECT_EQ(primitiveBytes(states), (std::vector<unsigned char>{1, 1})) << "a cancel leaves the states";

    // No labels and no states at all.
    DialogUser plain([&](HWND dialog) { choose(dialog, L"existing.txt", nullptr); });
    EXPECT_EQ(textsOf(show(false, nullptr, nullptr)),
              (std::vector<std::optional<std::u16string>>{u16(wide(folder_ / "existing.txt"))}));
    ASSERT_TRUE(plain.finished());
}

// Whether the window comes before the other in the z-order of the top-level windows.
bool isAbove(HWND window, HWND other)
{
    for (HWND each = GetTopWindow(nullptr); each; each = GetWindow(each, GW_HWNDNEXT)) {
        if (each == window)
            return true;
        if (each == other)
            return false;
    }
    return false;
}

class TaskDialogDesktop : public testing::Test {
protected:
    void SetUp() override
    {
        joinDialogDesktop();
        registerProgramNatives();
    }
    void TearDown() override { dropLocalReferences(); }
};

TEST_F(TaskDialogDesktop, AnswersWithTheButtonAndTheVerificationBox)
{
    const auto show = boundNative<ShowTaskDialog>("VistaTaskDialog", "show0");
    // An owner of this thread: the dialog's loop runs its messages.
    unique_hwnd owner(CreateWindowExW(0, L"STATIC", L"Installer", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 500, 400,
                                      nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(owner);
    const struct {
        const char* name;
        bool withOwner;
        int press;          // a button id (IDCANCEL for the dialog's own cancel)
        bool verify;
        jint flags;
        DWORD waitMs;       // the timer keeps ticking meanwhile
        jint expected;
    } cases[] = {
        {"second button", false, 102, false, 0, 0, 2},
        {"second button, box checked, over the owner for many ticks", true, 102, true, 0, 1500, -2},
        {"first button", true, 101, false, 0, 0, 1},
        {"cancelled", false, IDCANCEL, false, TDF_ALLOW_DIALOG_CANCELLATION, 0, 1000},
        {"cancelled with the box checked", true, IDCANCEL, true, TDF_ALLOW_DIALOG_CANCELLATION, 0, -1000},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.name);
        std::wstring instruction;
        bool aboveOwner = true;
        DialogUser user([&](HWND dialog) {
            if (each.waitMs)
                Sleep(each.waitMs);
            if (each.withOwner)
                aboveOwner = isAbove(dialog, owner.get());
            const DialogContents contents = readDialog(dialog);
            if (!contents.staticTexts.empty())
                instruction = contents.staticTexts.front();
            if (each.verify)
                SendMessageW(dialog, TDM_CLICK_VERIFICATION, TRUE, FALSE);
            SendMessageW(dialog, TDM_CLICK_BUTTON, static_cast<WPARAM>(each.press), 0);
        });
        const jint result =
            call(show, each.withOwner ? handleToJava(owner.get()) : jlong{0}, javaText(L"Setup"),
                 javaText(L"Close the running programs?"), javaText(L"They hold files the installer replaces."),
                 each.flags, 32515 /* IDI_WARNING */, 0, javaText(L"Do not ask again"),
                 stringArray({u"Close them", u"Retry", std::nullopt}), 1);
        EXPECT_TRUE(user.finished());
        EXPECT_EQ(result, each.expected);
        EXPECT_EQ(instruction, L"Close the running programs?");
        EXPECT_TRUE(aboveOwner) << "the timer let the dialog sink below its owner";
    }
}

// --- object picker ------------------------------------------------------------------------

// A selection list as the picker hands it out, in one block of global memory.
class FabricatedSelection {
public:
    struct Item {
        const wchar_t* name;
        const wchar_t* path;
        const wchar_t* objectClass;
        const wchar_t* principal;
        std::vector<BYTE> sid; // empty: the attribute is VT_EMPTY
    };

    explicit FabricatedSelection(const std::vector<Item>& items, ULONG claimedCount = 0)
    {
        const size_t bytes = offsetof(DS_SELECTION_LIST, aDsSelection) + items.size() * sizeof(DS_SELECTION);
        memory_ = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
        auto* list = static_cast<DS_SELECTION_LIST*>(GlobalLock(memory_));
        list->cItems = claimedCount ? claimedCount : static_cast<ULONG>(items.size());
        list->cFetchedAttributes = 1;
        // The byte arrays are laid out by hand, as the picker's own SAFEARRAYs are.
        variants_.resize(items.size());
        arrays_.resize(items.size());
        bytes_.resize(items.size());
        for (size_t i = 0; i < items.size(); ++i) {
            DS_SELECTION& item = list->aDsSelection[i];
            item.pwzName = const_cast<PWSTR>(items[i].name);
            item.pwzADsPath = const_cast<PWSTR>(items[i].path);
            item.pwzClass = const_cast<PWSTR>(items[i].objectClass);
            item.pwzUPN = const_cast<PWSTR>(items[i].principal);
            if (!items[i].sid.empty()) {
                bytes_[i] = items[i].sid;
                arrays_[i].cDims = 1;
                arrays_[i].cbElements = 1;
                arrays_[i].pvData = bytes_[i].data();
                arrays_[i].rgsabound[0].cElements = static_cast<ULONG>(bytes_[i].size());
                variants_[i].vt = VT_ARRAY | VT_UI1;
                variants_[i].parray = &arrays_[i];
            }
            item.pvarFetchedAttributes = &variants_[i];
        }
        GlobalUnlock(memory_);
    }
    ~FabricatedSelection()
    {
        if (memory_)
            GlobalFree(memory_);
    }
    HGLOBAL memory() const { return memory_; }
    // Hands the block to a receiver that frees it (the data object's medium).
    HGLOBAL copy() const
    {
        const SIZE_T size = GlobalSize(memory_);
        HGLOBAL copied = GlobalAlloc(GMEM_MOVEABLE, size);
        std::memcpy(GlobalLock(copied), GlobalLock(memory_), size);
        GlobalUnlock(copied);
        GlobalUnlock(memory_);
        return copied;
    }

private:
    HGLOBAL memory_ = nullptr;
    std::vector<VARIANT> variants_;
    std::vector<SAFEARRAY> arrays_;
    std::vector<std::vector<BYTE>> bytes_;
};

// The data object of the picker's answer: the selection list in the format it registers.
class SelectionData : public IDataObject {
public:
    explicit SelectionData(const FabricatedSelection& selection) : selection_(selection) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override
    {
        if (id == IID_IUnknown || id == IID_IDataObject) {
            *object = this;
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override
    {
        asked_ = format->cfFormat == RegisterClipboardFormatW(L"CFSTR_DSOP_DS_SELECTION_LIST") &&
                 format->tymed == TYMED_HGLOBAL && format->lindex == -1 && format->dwAspect == DVASPECT_CONTENT;
        if (!asked_)
            return DV_E_FORMATETC;
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = selection_.copy();
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

    bool asked() const { return asked_; }
    ULONG references() const { return references_; }

private:
    const FabricatedSelection& selection_;
    ULONG references_ = 1;
    bool asked_ = false;
};

TEST(ObjectPickerSelection, ReadsTheListWithOnlyValidSids)
{
    // S-1-5-32-544, and the same bytes cut short or with an impossible sub-authority count.
    const std::vector<BYTE> administrators = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 32, 2, 0, 0};
    std::vector<BYTE> cut(administrators.begin(), administrators.begin() + 12);
    std::vector<BYTE> tooMany = administrators;
    tooMany[1] = 20;
    const FabricatedSelection selection({
        {L"Administrators", L"WinNT://HOST/Administrators", L"group", nullptr, administrators},
        {L"Guest", L"WinNT://HOST/Guest", L"user", L"guest@host", {}},
        {L"Cut", nullptr, nullptr, nullptr, cut},
        {L"Too many", nullptr, nullptr, nullptr, tooMany},
    });
    const std::vector<std::optional<std::u16string>> expectedSids = {u"S-1-5-32-544", std::nullopt, std::nullopt,
                                                                     std::nullopt};

    SelectionData data(selection);
    const std::optional<std::vector<PickedObject>> objects = selectionOf(&data);
    EXPECT_TRUE(data.asked());
    EXPECT_EQ(data.references(), 1u);
    ASSERT_TRUE(objects);
    ASSERT_EQ(objects->size(), 4u);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ((*objects)[i].sid, expectedSids[i]) << i;
    EXPECT_EQ((*objects)[1].principalName, u"guest@host");
    EXPECT_FALSE((*objects)[0].principalName);
    EXPECT_FALSE((*objects)[2].adsPath);

    // A count larger than the block holds reads only the items inside it.
    const FabricatedSelection overstated({{L"Only", nullptr, nullptr, nullptr, {}}}, 1000);
    const auto* list = static_cast<const DS_SELECTION_LIST*>(GlobalLock(overstated.memory()));
    EXPECT_EQ(pickedObjectsOf(list, GlobalSize(overstated.memory())).size(), 1u);
    EXPECT_TRUE(pickedObjectsOf(list, 4).empty());
    GlobalUnlock(overstated.memory());
    EXPECT_FALSE(selectionOf(nullptr));

    // The Java objects, name to SID in constructor order.
    registerProgramNatives();
    const jobjectArray results = callCode([&] { return newPickerResults(env(), *objects); });
    ASSERT_EQ(elementsOf(results).size(), 4u);
    const jobject first = elementsOf(results)[0];
    EXPECT_EQ(classNameOf(first), "com/sealdeck/runtime/installer/platform/win32/ObjectPicker$Result");
    const std::vector<jvalue> arguments = constructorArguments(first);
    ASSERT_EQ(arguments.size(), 5u);
    EXPECT_EQ(textOf(arguments[0].l), u"Administrators");
    EXPECT_EQ(textOf(arguments[1].l), u"WinNT://HOST/Administrators");
    EXPECT_EQ(textOf(arguments[2].l), u"group");
    EXPECT_EQ(arguments[3].l, nullptr);
    EXPECT_EQ(textOf(arguments[4].l), u"S-1-5-32-544");
    hideClass("com/sealdeck/runtime/installer/platform/win32/ObjectPicker$Result");
    EXPECT_EQ(callCode([&] { return newPickerResults(env(), *objects); }), nullptr);
    hideClass("");
    clearException();
    dropLocalReferences();
}

TEST(ObjectPickerDesktop, PickerInitialisesAndTheNativeAnswersNullWithoutASelection)
{
    joinDialogDesktop();
    {
        const com_scope com;
        for (const bool localOnly : {true, false})
            EXPECT_TRUE(initializedPicker(pickerScope(true, true, true, localOnly), true)) << localOnly;
    }
    // A window of this process to show the picker over; whatever the picker shows is
    // cancelled (Wine's picker may show nothing at all).
    unique_hwnd window(CreateWindowExW(0, L"STATIC", L"Installer", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 400,
                                       300, nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(window);
    EXPECT_EQ(pickerParent(GetCurrentProcessId()), window.get());
    std::atomic<bool> stop{false};
    std::thread canceller([&] {
        joinDialogDesktop();
        while (!stop) {
            if (HWND dialog = waitForDialog(GetCurrentProcessId(), 200))
                PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        }
    });
    {
        // Cancelled (Wine's picker answers so without showing anything): no selection.
        const com_scope com;
        const unique_com<IDsObjectPicker> picker = initializedPicker(pickerScope(true, true, false, true), false);
        ASSERT_TRUE(picker);
        unique_com<IDataObject> data;
        EXPECT_EQ(picker.get()->InvokeDialog(window.get(), data.put()), S_FALSE);
        EXPECT_FALSE(data);
    }
    registerProgramNatives();
    EXPECT_EQ(call(boundNative<ShowPicker>("ObjectPicker", "show0"), JNI_TRUE, JNI_TRUE, JNI_TRUE, JNI_FALSE, JNI_TRUE),
              nullptr);
    stop = true;
    canceller.join();
    dropLocalReferences();
}

} // namespace
