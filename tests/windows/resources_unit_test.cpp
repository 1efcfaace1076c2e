// The resources of the built executables, read back as Windows reads them: the progress
// window's and the download dialog's templates, the installer icon and the application
// manifests.
#include "testing/launcher_builder.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

namespace {

class ResourceFile {
public:
    explicit ResourceFile(const wchar_t* name)
        : module_(LoadLibraryExW((testProgramDirectory() + L"\\" + name).c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE))
    {
    }
    ~ResourceFile()
    {
        if (module_)
            FreeLibrary(module_);
    }
    ResourceFile(const ResourceFile&) = delete;
    ResourceFile& operator=(const ResourceFile&) = delete;

    // The bytes of a resource (type 5 a dialog, 14 an icon group, 24 a manifest); empty when
    // it is missing.
    std::vector<uint8_t> bytes(int type, int id) const
    {
        HRSRC found = module_ ? FindResourceW(module_, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(type)) : nullptr;
        HGLOBAL loaded = found ? LoadResource(module_, found) : nullptr;
        const auto* data = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
        return data ? std::vector<uint8_t>(data, data + SizeofResource(module_, found)) : std::vector<uint8_t>();
    }

private:
    HMODULE module_;
};

// Reads an extended dialog template front to back.
class TemplateReader {
public:
    explicit TemplateReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    template <typename T>
    T next()
    {
        T value{};
        if (at_ + sizeof(T) <= bytes_.size())
            std::memcpy(&value, bytes_.data() + at_, sizeof(T));
        at_ += sizeof(T);
        return value;
    }
    // A name or ordinal field: 0, 0xFFFF plus an ordinal ("#n"), or a text.
    std::wstring nameOrOrdinal()
    {
        const uint16_t first = next<uint16_t>();
        if (first == 0xFFFF)
            return L"#" + std::to_wstring(next<uint16_t>());
        std::wstring text;
        for (uint16_t unit = first; unit != 0; unit = next<uint16_t>())
            text.push_back(static_cast<wchar_t>(unit));
        return text;
    }
    void alignTo4() { at_ = (at_ + 3) & ~size_t{3}; }
    bool overrun() const { return at_ > bytes_.size(); }

private:
    const std::vector<uint8_t>& bytes_;
    size_t at_ = 0;
};

struct Control {
    int id;
    std::wstring windowClass;
    short x, y, cx, cy;
    bool visible;
    DWORD style;
};

std::vector<Control> readControls(TemplateReader& reader, uint16_t count)
{
    std::vector<Control> controls;
    for (uint16_t i = 0; i < count && !reader.overrun(); ++i) {
        reader.alignTo4();
        reader.next<uint32_t>(); // help id
        reader.next<uint32_t>(); // extended style
        Control control{};
        control.style = reader.next<uint32_t>();
        control.x = reader.next<short>();
        control.y = reader.next<short>();
        control.cx = reader.next<short>();
        control.cy = reader.next<short>();
        control.id = reader.next<int32_t>();
        control.windowClass = reader.nameOrOrdinal();
        reader.nameOrOrdinal(); // text
        reader.next<uint16_t>(); // size of the creation data: none here
        control.visible = (control.style & WS_VISIBLE) != 0;
        controls.push_back(control);
    }
    return controls;
}

// The fixed part of an extended template, up to the first control; what every dialog of
// the installer shares is checked here (no menu, no title, "MS Shell Dlg" 8).
struct DialogHeader {
    DWORD exStyle = 0;
    DWORD style = 0;
    uint16_t count = 0;
    std::vector<short> box;
    std::wstring windowClass;
};

DialogHeader readDialogHeader(TemplateReader& reader)
{
    DialogHeader header;
    EXPECT_EQ(reader.next<uint16_t>(), 1u);
    EXPECT_EQ(reader.next<uint16_t>(), 0xFFFFu) << "not an extended template";
    reader.next<uint32_t>(); // help id
    header.exStyle = reader.next<uint32_t>();
    header.style = reader.next<uint32_t>();
    header.count = reader.next<uint16_t>();
    for (int i = 0; i < 4; ++i)
        header.box.push_back(reader.next<short>());
    EXPECT_EQ(reader.nameOrOrdinal(), L"") << "menu";
    header.windowClass = reader.nameOrOrdinal();
    EXPECT_EQ(reader.nameOrOrdinal(), L"") << "title";
    EXPECT_TRUE(header.style & DS_SETFONT);
    EXPECT_EQ(reader.next<uint16_t>(), 8u);
    reader.next<uint16_t>(); // weight
    reader.next<uint16_t>(); // italic, charset
    EXPECT_EQ(reader.nameOrOrdinal(), L"MS Shell Dlg");
    return header;
}

Control controlOf(const std::vector<Control>& controls, int id)
{
    for (const Control& control : controls)
        if (control.id == id)
            return control;
    ADD_FAILURE() << "no control " << id;
    return Control{};
}

std::wstring upper(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(towupper(c));
    return text;
}

std::string manifestOf(const wchar_t* program)
{
    const std::vector<uint8_t> bytes = ResourceFile(program).bytes(24, 1);
    return std::string(bytes.begin(), bytes.end());
}

} // namespace

TEST(Resources, ProgressWindowTemplateIsTheInstallersDialog)
{
    const std::vector<uint8_t> bytes = ResourceFile(kSetupStub).bytes(5, 103);
    ASSERT_FALSE(bytes.empty()) << "no dialog 103";
    TemplateReader reader(bytes);
    const DialogHeader header = readDialogHeader(reader);
    EXPECT_EQ(header.exStyle & WS_EX_APPWINDOW, static_cast<DWORD>(WS_EX_APPWINDOW));
    const DWORD frame = DS_MODALFRAME | DS_3DLOOK | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    EXPECT_EQ(header.style & frame, frame);
    EXPECT_EQ(header.style & (WS_MAXIMIZEBOX | WS_THICKFRAME), 0u) << "the window is not resizable";
    EXPECT_EQ(header.box, (std::vector<short>{22, 17, 233, 79}));
    // Window classes are found without regard to case, and the resource compiler writes
    // class names in capitals.
    EXPECT_EQ(upper(header.windowClass), L"MYDIALOGCLASS");

    const std::vector<Control> controls = readControls(reader, header.count);
    ASSERT_FALSE(reader.overrun());
    ASSERT_EQ(controls.size(), 5u);
    // The predefined classes by name or by ordinal: button 0x80, static 0x82.
    const struct {
        int id;
        const wchar_t* windowClass;
        std::vector<short> box;
        bool visible;
    } expected[] = {
        {1003, L"#130", {46, 6, 176, 34}, true},
        {1001, L"MSCTLS_PROGRESS32", {6, 61, 162, 10}, true},
        {1002, L"#130", {6, 50, 154, 8}, false}, // the download status line starts hidden
        {IDCANCEL, L"#128", {173, 59, 50, 14}, true},
        {-1, L"STATIC", {13, 10, 32, 32}, true},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.id);
        const Control control = controlOf(controls, e.id);
        EXPECT_EQ(upper(control.windowClass), e.windowClass);
        EXPECT_EQ((std::vector<short>{control.x, control.y, control.cx, control.cy}), e.box);
        EXPECT_EQ(control.visible, e.visible);
    }
}

// The download dialog: a plain dialog class at the origin, Download as the default button.
TEST(Resources, DownloadDialogTemplateOffersDownloadLocateAndCancel)
{
    const std::vector<uint8_t> bytes = ResourceFile(kSetupStub).bytes(5, 104);
    ASSERT_FALSE(bytes.empty()) << "no dialog 104";
    TemplateReader reader(bytes);
    const DialogHeader header = readDialogHeader(reader);
    const DWORD frame = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    EXPECT_EQ(header.style & frame, frame);
    EXPECT_EQ(header.style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0u);
    EXPECT_EQ(header.box, (std::vector<short>{0, 0, 233, 79}));
    EXPECT_EQ(header.windowClass, L"");

    const std::vector<Control> controls = readControls(reader, header.count);
    ASSERT_FALSE(reader.overrun());
    ASSERT_EQ(controls.size(), 5u);
    const struct {
        int id;
        const wchar_t* windowClass;
        std::vector<short> box;
    } expected[] = {
        {1004, L"#128", {61, 59, 50, 14}},
        {1005, L"#128", {117, 59, 50, 14}},
        {IDCANCEL, L"#128", {173, 59, 50, 14}},
        {1003, L"#130", {46, 6, 176, 45}},
        {-1, L"STATIC", {13, 10, 32, 32}},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.id);
        const Control control = controlOf(controls, e.id);
        EXPECT_EQ(upper(control.windowClass), e.windowClass);
        EXPECT_EQ((std::vector<short>{control.x, control.y, control.cx, control.cy}), e.box);
        EXPECT_TRUE(control.visible);
    }
    EXPECT_EQ(controlOf(controls, 1004).style & 0xF, static_cast<DWORD>(BS_DEFPUSHBUTTON));
    EXPECT_EQ(controlOf(controls, 1005).style & 0xF, static_cast<DWORD>(BS_PUSHBUTTON));
    EXPECT_EQ(controlOf(controls, -1).style & 0x1F, static_cast<DWORD>(SS_ICON));
}

// One icon group with the sizes a shell and a high-DPI caption ask for.
TEST(Resources, InstallerIconHasEverySizeTheShellAsksFor)
{
    const std::vector<uint8_t> group = ResourceFile(kSetupStub).bytes(14, 1001);
    ASSERT_GE(group.size(), 6u) << "no icon 1001";
    uint16_t count = 0;
    std::memcpy(&count, group.data() + 4, 2);
    ASSERT_EQ(group.size(), 6u + 14u * count);
    std::vector<int> sizes;
    for (uint16_t i = 0; i < count; ++i)
        sizes.push_back(group[6 + 14 * i] == 0 ? 256 : group[6 + 14 * i]);
    for (int wanted : {16, 24, 32, 48, 256})
        EXPECT_NE(std::find(sizes.begin(), sizes.end(), wanted), sizes.end()) << "no " << wanted << " pixel image";
}

TEST(Resources, ManifestsAskForWhatEachProgramNeeds)
{
    const std::string setup = manifestOf(kSetupStub);
    const std::string service = manifestOf(kServiceStub);
    for (const std::string* manifest : {&setup, &service}) {
        EXPECT_NE(manifest->find("level=\"asInvoker\""), std::string::npos) << *manifest;
        EXPECT_NE(manifest->find("<longPathAware"), std::string::npos) << *manifest;
        EXPECT_NE(manifest->find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos) << "Windows 10";
    }
    EXPECT_NE(setup.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos) << setup;
    EXPECT_NE(setup.find("PerMonitorV2"), std::string::npos);
    EXPECT_NE(setup.find(">true/pm</dpiAware>"), std::string::npos) << "the fallback before Windows 10";
    EXPECT_EQ(service.find("Common-Controls"), std::string::npos) << "the service launcher has no dialogs of its own";
}
