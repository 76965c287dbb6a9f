// Module entry: the class factory with the processor and the controller, the
// exported InitDll/ExitDll, the Windows library entry point, and the module
// folder recorded at load.

#include "params/orvocids.h"
#include "module/version.h"
#include "controller/orvocontroller.h"
#include "controller/orvomonitorcontroller.h"
#include "processor/orvoprocessor.h"
#include "controller/orvoambixcontroller.h"
#include "processor/orvoambixprocessor.h"
#include "processor/orvomonitorprocessor.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "public.sdk/source/main/moduleinit.h"
#include "public.sdk/source/main/pluginfactory.h"

#include <cstring>

#if SMTG_OS_WINDOWS
#include <windows.h>
#include <objbase.h>
#else
#include <dlfcn.h>
#endif

namespace {

// Folder of the module file with its trailing separator, UTF-8; empty when it
// could not be determined. A plain array: on Windows it is written from
// DllMain, where nothing should allocate or depend on static constructors.
constexpr size_t kFolderCapacity = 16384;
char moduleFolder[kFolderCapacity] = {};

// Keeps everything up to and including the last separator of 'path'.
void storeModuleFolder (const char* path, char separator)
{
	moduleFolder[0] = 0;
	const char* cut = path ? std::strrchr (path, separator) : nullptr;
	if (!cut)
		return;
	const auto length = static_cast<size_t> (cut - path) + 1;
	if (length >= kFolderCapacity)
		return;
	std::memcpy (moduleFolder, path, length);
	moduleFolder[length] = 0;
}

#if !SMTG_OS_WINDOWS
void recordModuleFolder ()
{
	Dl_info info {};
	if (dladdr (reinterpret_cast<const void*> (&recordModuleFolder), &info) != 0)
		storeModuleFolder (info.dli_fname, '/');
}

Steinberg::ModuleInitializer folderAtLoad ([] () { recordModuleFolder (); });
#endif

} // namespace

const char* Steinberg::orvoModuleFolder ()
{
	return moduleFolder;
}

#if SMTG_OS_WINDOWS
// The module-wide handles that the SDK's own Windows entry would set: ghInst
// for resource access, moduleHandle behind Steinberg::getPlatformModuleHandle,
// which the SDK's editor support hands to VSTGUI as the instance whose
// resources hold the editor art.
HINSTANCE ghInst = nullptr;
void* moduleHandle = nullptr;

BOOL WINAPI DllMain (HINSTANCE instance, DWORD reason, LPVOID /*reserved*/)
{
	if (reason == DLL_PROCESS_ATTACH)
	{
		moduleHandle = ghInst = instance;
		// The full file name, UTF-16 from the system, kept as UTF-8 like the
		// folder on other systems; a name too long for the buffer gives "".
		static wchar_t wide[kFolderCapacity / 4];
		static char utf8[kFolderCapacity];
		const DWORD length = GetModuleFileNameW (instance, wide, kFolderCapacity / 4);
		if (length > 0 && length < kFolderCapacity / 4 &&
		    WideCharToMultiByte (CP_UTF8, 0, wide, -1, utf8, kFolderCapacity, nullptr, nullptr) > 0)
			storeModuleFolder (utf8, '\\');
	}
	return TRUE;
}

// On Windows hosts call InitDll after loading the module and ExitDll before
// unloading it (the SDK's VST 2 wrapper does the same); they are the place
// for the module's start-up functions that must not run inside DllMain, such
// as the editor library's set-up, which creates Direct2D factories. Counted:
// a host may call them more than once.
namespace {
int initCount = 0;
}
extern bool InitModule ();
extern bool DeinitModule ();

extern "C" {
SMTG_EXPORT_SYMBOL bool InitDll ()
{
	if (++initCount == 1)
	{
		// The editor library makes its image decoder (WIC, a COM object) here,
		// once for the module's life; without COM on this thread it would get
		// none, and the first image would crash. A host's user-interface
		// thread has COM; a plug-in scanner or a VST 2 host creating the
		// effect on a bare thread may not: then this thread joins a
		// single-threaded apartment, as user-interface threads do, and stays
		// in it (leaving it could unload the decoder).
		const HRESULT com = CoInitializeEx (nullptr, COINIT_APARTMENTTHREADED);
		if (com == S_FALSE)
			CoUninitialize (); // COM was there already: only balance this call
		InitModule ();
	}
	return true;
}
SMTG_EXPORT_SYMBOL bool ExitDll ()
{
	if (initCount > 0 && --initCount == 0)
		DeinitModule ();
	return true;
}
}
#else
// Both entry points exist for hosts that call them; the module's start-up
// functions run from ModuleEntry on Linux.
extern "C" {
SMTG_EXPORT_SYMBOL bool InitDll ()
{
	return true;
}
SMTG_EXPORT_SYMBOL bool ExitDll ()
{
	return true;
}
}
#endif

using namespace Steinberg::Vst;

// The factory is created on the first GetPluginFactory and shared by later
// calls; its destructor clears the module-wide pointer, so a call after the
// last release builds a fresh one.
BEGIN_FACTORY (ORVO_VENDOR, ORVO_VENDOR_URL, ORVO_VENDOR_EMAIL, PFactoryInfo::kUnicode)

	DEF_CLASS2 (INLINE_UID_FROM_FUID (OrvoProcessorUID),
	            PClassInfo::kManyInstances,
	            kVstAudioEffectClass,
	            ORVO_PLUGIN_NAME,
	            Vst::kDistributable,
	            ORVO_SUBCATEGORIES,
	            ORVO_VERSION_STR,
	            ORVO_SDK_VERSION_STR,
	            OrvoProcessor::createInstance)

	DEF_CLASS2 (INLINE_UID_FROM_FUID (OrvoControllerUID),
	            PClassInfo::kManyInstances,
	            kVstComponentControllerClass,
	            ORVO_CONTROLLER_NAME,
	            0,
	            "",
	            ORVO_VERSION_STR,
	            ORVO_SDK_VERSION_STR,
	            OrvoController::createInstance)

	DEF_CLASS2 (INLINE_UID_FROM_FUID (OrvoAmbixProcessorUID),
	            PClassInfo::kManyInstances,
	            kVstAudioEffectClass,
	            ORVO_AMBIX_NAME,
	            Vst::kDistributable,
	            ORVO_AMBIX_SUBCATEGORIES,
	            ORVO_VERSION_STR,
	            ORVO_SDK_VERSION_STR,
	            OrvoAmbixProcessor::createInstance)

	DEF_CLASS2 (INLINE_UID_FROM_FUID (OrvoAmbixControllerUID),
	            PClassInfo::kManyInstances,
	            kVstComponentControllerClass,
	            ORVO_AMBIX_CONTROLLER_NAME,
	            0,
	            "",
	            ORVO_VERSION_STR,
	            ORVO_SDK_VERSION_STR,
	            OrvoAmbixController::createInstance)

	DEF_CLASS2 (INLINE_UID_FROM_FUID (OrvoMonitorProcessorUID),
	            PClassInfo::kManyInstances,
	            kVstAudioEffectClass,
	            ORVO_MONITOR_NAME,
	            Vst::kDistributable,
	            ORVO_MONITOR_SUBCATEGORIES,
	            ORVO_VERSION_STR,
	            ORVO_SDK_VERSION_STR,
	            OrvoMonitorProcessor::createInstance)

	DEF_CLASS2 (INLINE_UID_FROM_FUID (OrvoMonitorControllerUID),
	            PClassInfo::kManyInstances,
	            kVstComponentControllerClass,
	            ORVO_MONITOR_CONTROLLER_NAME,
	            0,
	            "",
	            ORVO_VERSION_STR,
	            ORVO_SDK_VERSION_STR,
	            OrvoMonitorController::createInstance)

END_FACTORY
