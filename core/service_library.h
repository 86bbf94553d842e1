#pragma once

#include "kelbrin.h"

// The binding to the SMS service library. The library is loaded once per process by its bare
// name and never unloaded; every entry point is looked up by name each time it is used, so a
// library that lacks one only disables the operations that need it.

using ServiceLibraryHandle = void*;

// Loads libkelbrin.so on the first call and returns the same handle on every later call; null
// when it could not be loaded (the attempt is not repeated).
ServiceLibraryHandle loadServiceLibrary();

// The address of the exported symbol @p name, or null when @p library is null or lacks it.
void* findSymbol(ServiceLibraryHandle library, const char* name);

// Each entry point's pointer type paired with the one name it is looked up by.
template <typename Fn> struct EntryPointName;
template <> struct EntryPointName<SMSStartServiceFn> {
    static constexpr const char* kValue = "SMSStartService";
};
template <> struct EntryPointName<SMSStopSericeFn> {
    static constexpr const char* kValue = "SMSStopSerice";
};
template <> struct EntryPointName<SMSSendMessageFn> {
    static constexpr const char* kValue = "SMSSendMessage";
};
template <> struct EntryPointName<SMSGetNextMessageFn> {
    static constexpr const char* kValue = "SMSGetNextMessage";
};
template <> struct EntryPointName<SMSReportFn> {
    static constexpr const char* kValue = "SMSReport";
};
template <> struct EntryPointName<SMSQueryFn> { static constexpr const char* kValue = "SMSQuery"; };
template <> struct EntryPointName<SMSGetLastErrorFn> {
    static constexpr const char* kValue = "SMSGetLastError";
};

// Looks the entry point of type @p Fn up in @p library; null when it cannot be called.
template <typename Fn> Fn findEntryPoint(ServiceLibraryHandle library) {
    return reinterpret_cast<Fn>(findSymbol(library, EntryPointName<Fn>::kValue));
}
