// The natives of the ShellLink class: shortcut files written through the shell-link object,
// and the shell told about a new item and a changed folder. COM is the Java side's to set
// up on the thread that makes links (initialize0 and uninitialize).
#include <windows.h>

#include <shlobj.h>
#include <shobjidl.h>

#include <optional>

#include "launchcore/windows/base/handles.h"
#include "natives/byte_array_text.h"
#include "natives/windows/native_export.h"
#include "natives/windows/shell_binding.h"

namespace {

// A link's properties; a null text is a property left as the shell sets it.
template <typename Char>
struct LinkFields {
    const wchar_t* file = nullptr;
    const Char* target = nullptr;
    const Char* directory = nullptr;
    const Char* icon = nullptr;
    const Char* arguments = nullptr;
    const Char* description = nullptr;
    bool runAsAdministrator = false;
    std::optional<int> showCommand;
};

bool markRunAsAdministrator(IUnknown* link)
{
    unique_com<IShellLinkDataList> data;
    if (FAILED(link->QueryInterface(IID_IShellLinkDataList, reinterpret_cast<void**>(data.put()))))
        return false;
    DWORD flags = 0;
    if (FAILED(data.get()->GetFlags(&flags)))
        return false;
    return SUCCEEDED(data.get()->SetFlags(flags | SLDF_RUNAS_USER));
}

// IShellLinkW and IShellLinkA differ only in their text type.
template <typename Link, typename Char>
bool saveLink(REFIID linkInterface, const LinkFields<Char>& fields)
{
    if (!fields.file)
        return false;
    unique_com<Link> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, linkInterface,
                                reinterpret_cast<void**>(link.put()))))
        return false;
    // The setters' results do not matter: a property that did not take shows in the file.
    // Null texts are not passed on at all; not every shell accepts them.
    if (fields.target)
        link.get()->SetPath(fields.target);
    if (fields.directory)
        link.get()->SetWorkingDirectory(fields.directory);
    if (fields.icon)
        link.get()->SetIconLocation(fields.icon, 0);
    if (fields.arguments)
        link.get()->SetArguments(fields.arguments);
    if (fields.description)
        link.get()->SetDescription(fields.description);
    if (fields.showCommand)
        link.get()->SetShowCmd(*fields.showCommand);

    unique_com<IPersistFile> persist;
    if (FAILED(link.get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(persist.put()))))
        return false;
    if (fields.runAsAdministrator && !markRunAsAdministrator(link.get()))
        return false;
    return SUCCEEDED(persist.get()->Save(fields.file, TRUE));
}

} // namespace

SLDK_NATIVE_EXPORT(jboolean, ShellLink, initialize0)(JNIEnv*, jobject)
{
    CoInitialize(nullptr);
    return JNI_TRUE;
}

SLDK_NATIVE_EXPORT(jboolean, ShellLink, uninitialize)(JNIEnv*, jobject)
{
    CoUninitialize();
    return JNI_TRUE;
}

SLDK_NATIVE_EXPORT(jboolean, ShellLink, createWide0)(JNIEnv* env, jobject, jstring linkFile, jstring target,
                                                     jstring directory, jstring icon, jstring arguments,
                                                     jboolean runAsAdministrator, jstring description,
                                                     jint showCommand)
{
    const JavaText file(env, linkFile), path(env, target),
        folder(env, directory), iconFile(env, icon),
        commandLine(env, arguments), text(env, description);
    for (const JavaText* each : {&file, &path, &folder, &iconFile, &commandLine, &text})
        if (!each->ok())
            return JNI_FALSE;
    LinkFields<wchar_t> fields;
    fields.file = file.wide();
    fields.target = path.wide();
    fields.directory = folder.wide();
    fields.icon = iconFile.wide();
    fields.arguments = commandLine.wide();
    fields.description = text.wide();
    fields.runAsAdministrator = runAsAdministrator != JNI_FALSE;
    fields.showCommand = showCommand;
    return toJavaBoolean(saveLink<IShellLinkW>(IID_IShellLinkW, fields));
}

// The 8-bit twin of createWide0 (system code page), without a show command. A null array is
// a property not given.
SLDK_NATIVE_EXPORT(jboolean, ShellLink, create0)(JNIEnv* env, jobject, jstring linkFile, jbyteArray target,
                                                 jbyteArray directory, jbyteArray icon, jbyteArray arguments,
                                                 jboolean runAsAdministrator, jbyteArray description)
{
    const JavaText file(env, linkFile);
    if (!file.ok())
        return JNI_FALSE;
    constexpr auto narrow = ByteArrayText::Encoding::Narrow;
    const ByteArrayText path(env, target, narrow), folder(env, directory, narrow),
        iconFile(env, icon, narrow), commandLine(env, arguments, narrow),
        text(env, description, narrow);
    for (const ByteArrayText* each : {&path, &folder, &iconFile, &commandLine, &text})
        if (!each->ok())
            return JNI_FALSE;
    LinkFields<char> fields;
    fields.file = file.wide();
    fields.target = path.narrow();
    fields.directory = folder.narrow();
    fields.icon = iconFile.narrow();
    fields.arguments = commandLine.narrow();
    fields.description = text.narrow();
    fields.runAsAdministrator = runAsAdministrator != JNI_FALSE;
    return toJavaBoolean(saveLink<IShellLinkA>(IID_IShellLinkA, fields));
}

// Tells the shell that the item was created and the folder's contents changed. Either may
// be a null array, whose notification is then left out; the answer is always true.
SLDK_NATIVE_EXPORT(jboolean, ShellLink, changeNotify0)(JNIEnv* env, jobject, jbyteArray createdItem,
                                                       jbyteArray changedFolder)
{
    constexpr auto wide = ByteArrayText::Encoding::Utf16LittleEndian;
    const ByteArrayText item(env, createdItem, wide);
    if (!item.ok())
        return JNI_TRUE;
    const ByteArrayText folder(env, changedFolder, wide);
    if (!folder.ok())
        return JNI_TRUE;
    const ShellBinding& binding = shellBinding();
    if (!item.isNull())
        shellNotify(binding, SHCNE_CREATE, SHCNF_PATHW, item.wideForWindows(), nullptr);
    if (!folder.isNull())
        shellNotify(binding, SHCNE_UPDATEDIR, SHCNF_PATHW | SHCNF_FLUSH, folder.wideForWindows(), nullptr);
    return JNI_TRUE;
}
