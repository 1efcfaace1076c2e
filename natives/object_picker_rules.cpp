#include "natives/object_picker_rules.h"

#include "launchcore/jni_launch.h"
#include "natives/jni_conventions.h"

namespace {

// The directory picker's flags (objsel.h), spelled out so this stays Windows-free.
constexpr uint32_t kScopeTargetComputer = 0x1;
// Target computer, joined domain (up- and down-level), enterprise domain, external domains
// (up- and down-level), user-entered scopes (up- and down-level); never the global catalog,
// whose searches can take minutes in a large forest.
constexpr uint32_t kScopeEveryDomain = 0x36F;
constexpr uint32_t kScopeDefaultFilterUsersAndGroups = 0xC0;
constexpr uint32_t kUpLevelGroups = 0x3F4;
constexpr uint32_t kUpLevelUsers = 0x2;
constexpr uint32_t kUpLevelWellKnownPrincipals = 0x8;
constexpr uint32_t kDownLevelGroups = 0x80000006;
constexpr uint32_t kDownLevelUsers = 0x80000001;
constexpr uint32_t kDownLevelAllWellKnownSids = 0x80020000;
// System, local service and network service: the accounts a service runs as.
constexpr uint32_t kDownLevelServiceAccounts = 0x800C4000;

} // namespace

PickerScope pickerScope(bool includeGroups, bool includeUsers, bool includeWellKnownPrincipals,
                        bool localComputerOnly)
{
    PickerScope scope;
    scope.scopeType = localComputerOnly ? kScopeTargetComputer : kScopeEveryDomain;
    scope.scopeFlags = kScopeDefaultFilterUsersAndGroups;
    if (includeGroups) {
        scope.upLevelFilter |= kUpLevelGroups;
        scope.downLevelFilter |= kDownLevelGroups;
    }
    if (includeUsers) {
        scope.upLevelFilter |= kUpLevelUsers;
        scope.downLevelFilter |= kDownLevelUsers;
    }
    if (includeWellKnownPrincipals) {
        scope.upLevelFilter |= kUpLevelWellKnownPrincipals;
        scope.downLevelFilter |= includeGroups ? kDownLevelAllWellKnownSids : kDownLevelServiceAccounts;
    }
    return scope;
}

uintptr_t pickerParentWindow(const std::vector<TopLevelWindow>& windows, uint32_t processId,
                             uintptr_t consoleWindow)
{
    uintptr_t found = 0;
    for (const TopLevelWindow& window : windows)
        if (window.visible && window.processId == processId && window.handle != consoleWindow)
            found = window.handle;
    return found ? found : consoleWindow;
}

jobjectArray newPickerResults(JNIEnv* env, const std::vector<PickedObject>& objects)
{
    LocalRef<jclass> type(env, env->FindClass(kObjectPickerResultClass.name));
    if (!type || exceptionPending(env))
        return nullptr;
    const jmethodID constructor = env->GetMethodID(type.get(), "<init>", kObjectPickerResultClass.constructor);
    if (!constructor || exceptionPending(env))
        return nullptr;
    LocalRef<jobjectArray> array(env, env->NewObjectArray(static_cast<jsize>(objects.size()), type.get(), nullptr));
    if (!array || exceptionPending(env))
        return nullptr;
    jsize index = 0;
    for (const PickedObject& object : objects) {
        // The five strings of one result live until it is stored.
        struct Arguments {
            JNIEnv* env;
            jvalue values[5] = {};
            ~Arguments()
            {
                for (const jvalue& value : values)
                    if (value.l)
                        env->DeleteLocalRef(value.l);
            }
        } arguments{env};
        const std::optional<std::u16string>* texts[] = {&object.name, &object.adsPath, &object.objectClass,
                                                        &object.principalName, &object.sid};
        for (size_t i = 0; i < 5; ++i) {
            if (!*texts[i])
                continue;
            arguments.values[i].l = newJavaString(env, **texts[i]);
            if (!arguments.values[i].l)
                return nullptr;
        }
        LocalRef<jobject> result(env, env->NewObjectA(type.get(), constructor, arguments.values));
        if (!result || exceptionPending(env))
            return nullptr;
        env->SetObjectArrayElement(array.get(), index++, result.get());
        if (exceptionPending(env))
            return nullptr;
    }
    return array.release();
}
