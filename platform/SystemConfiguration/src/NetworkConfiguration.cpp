// The network-configuration views over a preferences object's store: the current set, the
// services its links resolve to (in the order of their keys), and each service's interface,
// built from its "Interface" entity. Each object owns what it lends.
#include "SCInternal.h"

namespace sc {

namespace {

struct InterfaceImpl {
    CFStringRef type = nullptr;     // one of the kSCNetworkInterfaceType constants, or ownType
    CFRef<CFStringRef> ownType;     // a type this stand-in has no constant for
    CFRef<CFStringRef> bsdName;
    CFRef<SCNetworkInterfaceRef> child;
};

struct ServiceImpl {
    CFRef<CFStringRef> serviceID;
    CFRef<CFStringRef> name;
    bool enabled = true;
    CFRef<SCNetworkInterfaceRef> interface;
};

struct SetImpl {
    CFRef<SCPreferencesRef> prefs;
    CFRef<CFStringRef> setID;
    CFRef<CFStringRef> path;
    CFRef<CFStringRef> name;
};

CFTypeID InterfaceType()
{
    static const CFTypeID type = RegisterType<InterfaceImpl>("SCNetworkInterface");
    return type;
}

CFTypeID ServiceType()
{
    static const CFTypeID type = RegisterType<ServiceImpl>("SCNetworkService");
    return type;
}

CFTypeID SetType()
{
    static const CFTypeID type = RegisterType<SetImpl>("SCNetworkSet");
    return type;
}

CFStringRef StringIn(CFDictionaryRef dict, CFStringRef key)
{
    CFTypeRef value = CFDictionaryGetValue(dict, key);
    return value != nullptr && CFGetTypeID(value) == CFStringGetTypeID() ? static_cast<CFStringRef>(value) : nullptr;
}

// The constant for a stored type, so that callers may compare types by identity.
CFStringRef KnownType(CFStringRef type)
{
    for (CFStringRef known : {kSCNetworkInterfaceTypeEthernet, kSCNetworkInterfaceTypePPP, kSCNetworkInterfaceTypeModem,
                              kSCNetworkInterfaceTypeSerial, kSCNetworkInterfaceTypeFireWire,
                              kSCNetworkInterfaceTypeIEEE80211, kSCNetworkInterfaceTypeBluetooth,
                              kSCNetworkInterfaceTypeIrDA, kSCNetworkInterfaceTypeL2TP, kSCNetworkInterfaceTypePPTP,
                              kSCNetworkInterfaceType6to4}) {
        if (CFEqual(type, known)) {
            return known;
        }
    }
    return nullptr;
}

SCNetworkInterfaceRef NewInterface(CFStringRef type, CFStringRef bsdName, SCNetworkInterfaceRef child)
{
    auto impl = std::make_unique<InterfaceImpl>();
    impl->type = KnownType(type);
    if (impl->type == nullptr) {
        impl->ownType = CFRef<CFStringRef>::Retained(type);
        impl->type = impl->ownType;
    }
    impl->bsdName = CFRef<CFStringRef>::Retained(bsdName);
    impl->child = CFRef<SCNetworkInterfaceRef>::Retained(child);
    return static_cast<SCNetworkInterfaceRef>(NewObject(nullptr, InterfaceType(), std::move(impl)));
}

// The interface an "Interface" entity describes: Type, SubType and DeviceName. A PPP interface
// has no BSD name; it runs over an Ethernet interface (PPPoE) or a modem (PPP serial). An
// Ethernet entity of AirPort hardware is an IEEE 802.11 interface.
SCNetworkInterfaceRef CreateInterface(CFTypeRef entity)
{
    if (entity == nullptr || CFGetTypeID(entity) != CFDictionaryGetTypeID()) {
        return nullptr;
    }
    CFDictionaryRef dict = static_cast<CFDictionaryRef>(entity);
    CFStringRef type = StringIn(dict, kSCPropNetInterfaceType);
    CFStringRef device = StringIn(dict, kSCPropNetInterfaceDeviceName);
    if (type == nullptr) {
        return nullptr;
    }
    if (!CFEqual(type, kSCValNetInterfaceTypePPP)) {
        CFStringRef hardware = StringIn(dict, kSCPropNetInterfaceHardware);
        if (CFEqual(type, kSCValNetInterfaceTypeEthernet) && hardware != nullptr && CFEqual(hardware, CFSTR("AirPort"))) {
            type = kSCNetworkInterfaceTypeIEEE80211;
        }
        return NewInterface(type, device, nullptr);
    }
    CFStringRef subType = StringIn(dict, kSCPropNetInterfaceSubType);
    CFRef<SCNetworkInterfaceRef> child;
    if (subType != nullptr && CFEqual(subType, kSCValNetInterfaceSubTypePPPoE)) {
        child.reset(NewInterface(kSCNetworkInterfaceTypeEthernet, device, nullptr));
    } else if (subType != nullptr && CFEqual(subType, kSCValNetInterfaceSubTypePPPSerial)) {
        child.reset(NewInterface(kSCNetworkInterfaceTypeModem, device, nullptr));
    }
    return NewInterface(kSCNetworkInterfaceTypePPP, nullptr, child);
}

SCNetworkServiceRef CreateService(CFStringRef serviceID, CFDictionaryRef service)
{
    auto impl = std::make_unique<ServiceImpl>();
    impl->serviceID = CFRef<CFStringRef>::Retained(serviceID);
    impl->name = CFRef<CFStringRef>::Retained(StringIn(service, kSCPropUserDefinedName));
    impl->enabled = !CFDictionaryContainsKey(service, kSCResvInactive);
    impl->interface.reset(CreateInterface(CFDictionaryGetValue(service, kSCEntNetInterface)));
    return static_cast<SCNetworkServiceRef>(NewObject(nullptr, ServiceType(), std::move(impl)));
}

// Getters: the record of an object of the type, with SCError set for a wrong argument.
template <class Impl>
Impl *Get(CFTypeRef object, CFTypeID type)
{
    Impl *impl = ImplOf<Impl>(object, type);
    SetError(impl != nullptr ? kSCStatusOK : kSCStatusInvalidArgument);
    return impl;
}

// A lent value, with 1004 as the status when there is none.
template <class T>
T Lend(T value)
{
    SetError(value != nullptr ? kSCStatusOK : kSCStatusNoKey);
    return value;
}

}  // namespace

}  // namespace sc

extern "C" CFTypeID SCNetworkInterfaceGetTypeID(void) { return sc::InterfaceType(); }
extern "C" CFTypeID SCNetworkServiceGetTypeID(void) { return sc::ServiceType(); }
extern "C" CFTypeID SCNetworkSetGetTypeID(void) { return sc::SetType(); }

extern "C" SCNetworkSetRef SCNetworkSetCopyCurrent(SCPreferencesRef prefs)
{
    sc::PrefsImpl *p = sc::PrefsOf(prefs);
    if (p == nullptr) {
        return sc::FailWith<const __SCNetworkSet>(kSCStatusInvalidArgument);
    }
    if (int armed = sc::ArmedFailure("SCNetworkSetCopyCurrent")) {
        return sc::FailWith<const __SCNetworkSet>(armed);
    }
    standin::CreationScope scope;
    if (!scope.Granted()) {
        return sc::FailWith<const __SCNetworkSet>(kSCStatusFailed);
    }
    std::string setID;
    CFDictionaryRef set = nullptr;
    if (int status = sc::CurrentSetOf(p->root, &set, &setID); status != 0) {
        return sc::FailWith<const __SCNetworkSet>(status);
    }
    auto impl = std::make_unique<sc::SetImpl>();
    impl->prefs = sc::CFRef<SCPreferencesRef>::Retained(prefs);
    impl->setID.reset(sc::CreateUTF8String(setID));
    impl->path = sc::CFRef<CFStringRef>::Retained(static_cast<CFStringRef>(CFDictionaryGetValue(p->root, kSCPrefCurrentSet)));
    impl->name = sc::CFRef<CFStringRef>::Retained(sc::StringIn(set, kSCPropUserDefinedName));
    if (!impl->setID) {
        return sc::FailWith<const __SCNetworkSet>(kSCStatusFailed);
    }
    CFTypeRef object = sc::NewObject(nullptr, sc::SetType(), std::move(impl));
    return object != nullptr ? sc::Succeed(static_cast<SCNetworkSetRef>(object)) : sc::FailWith<const __SCNetworkSet>(kSCStatusFailed);
}

// The services of the set's links that resolve, in the order of their keys in the set (sorted);
// dangling and malformed links are left out.
extern "C" CFArrayRef SCNetworkSetCopyServices(SCNetworkSetRef set)
{
    sc::SetImpl *impl = sc::ImplOf<sc::SetImpl>(set, sc::SetType());
    if (impl == nullptr) {
        return sc::FailWith<const __CFArray>(kSCStatusInvalidArgument);
    }
    if (int armed = sc::ArmedFailure("SCNetworkSetCopyServices")) {
        return sc::FailWith<const __CFArray>(armed);
    }
    standin::CreationScope scope;
    if (!scope.Granted()) {
        return sc::FailWith<const __CFArray>(kSCStatusFailed);
    }
    sc::PrefsImpl *p = sc::PrefsOf(impl->prefs);
    CFDictionaryRef stored = nullptr;
    if (int status = sc::LookUpPath(p->root, impl->path, &stored); status != 0) {
        return sc::FailWith<const __CFArray>(status);  // the set went away since it was copied
    }
    sc::CFRef<CFMutableArrayRef> services(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    if (!services) {
        return sc::FailWith<const __CFArray>(kSCStatusFailed);
    }
    bool made = true;
    bool resolved = sc::ForEachLinkedService(p->root, stored, [&](CFStringRef serviceID, CFDictionaryRef service) {
        sc::CFRef<SCNetworkServiceRef> object(sc::CreateService(serviceID, service));
        made = made && object;
        if (object) {
            CFArrayAppendValue(services, object);
        }
    });
    if (!made || !resolved) {
        return sc::FailWith<const __CFArray>(kSCStatusFailed);
    }
    return sc::Succeed(static_cast<CFArrayRef>(services.release()));
}

extern "C" CFStringRef SCNetworkSetGetName(SCNetworkSetRef set)
{
    sc::SetImpl *impl = sc::Get<sc::SetImpl>(set, sc::SetType());
    return impl != nullptr ? sc::Lend(impl->name.get()) : nullptr;
}

extern "C" CFStringRef SCNetworkSetGetSetID(SCNetworkSetRef set)
{
    sc::SetImpl *impl = sc::Get<sc::SetImpl>(set, sc::SetType());
    return impl != nullptr ? sc::Lend(impl->setID.get()) : nullptr;
}

extern "C" SCNetworkInterfaceRef SCNetworkServiceGetInterface(SCNetworkServiceRef service)
{
    sc::ServiceImpl *impl = sc::Get<sc::ServiceImpl>(service, sc::ServiceType());
    return impl != nullptr ? sc::Lend(impl->interface.get()) : nullptr;
}

extern "C" CFStringRef SCNetworkServiceGetName(SCNetworkServiceRef service)
{
    sc::ServiceImpl *impl = sc::Get<sc::ServiceImpl>(service, sc::ServiceType());
    return impl != nullptr ? sc::Lend(impl->name.get()) : nullptr;
}

extern "C" CFStringRef SCNetworkServiceGetServiceID(SCNetworkServiceRef service)
{
    sc::ServiceImpl *impl = sc::Get<sc::ServiceImpl>(service, sc::ServiceType());
    return impl != nullptr ? sc::Lend(impl->serviceID.get()) : nullptr;
}

extern "C" Boolean SCNetworkServiceGetEnabled(SCNetworkServiceRef service)
{
    sc::ServiceImpl *impl = sc::Get<sc::ServiceImpl>(service, sc::ServiceType());
    return impl != nullptr && impl->enabled;
}

extern "C" CFStringRef SCNetworkInterfaceGetInterfaceType(SCNetworkInterfaceRef interface)
{
    sc::InterfaceImpl *impl = sc::Get<sc::InterfaceImpl>(interface, sc::InterfaceType());
    return impl != nullptr ? sc::Lend(impl->type) : nullptr;
}

extern "C" CFStringRef SCNetworkInterfaceGetBSDName(SCNetworkInterfaceRef interface)
{
    sc::InterfaceImpl *impl = sc::Get<sc::InterfaceImpl>(interface, sc::InterfaceType());
    return impl != nullptr ? sc::Lend(impl->bsdName.get()) : nullptr;
}

extern "C" SCNetworkInterfaceRef SCNetworkInterfaceGetInterface(SCNetworkInterfaceRef interface)
{
    sc::InterfaceImpl *impl = sc::Get<sc::InterfaceImpl>(interface, sc::InterfaceType());
    return impl != nullptr ? sc::Lend(impl->child.get()) : nullptr;
}
