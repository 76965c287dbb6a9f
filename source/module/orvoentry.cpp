// Module entry: the class factory with the processor and the controller, the
// exported InitDll/ExitDll, and the module folder recorded at load.

#include "module/orvocids.h"
#include "module/version.h"
#include "controller/orvocontroller.h"
#include "processor/orvoprocessor.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "public.sdk/source/main/moduleinit.h"
#include "public.sdk/source/main/pluginfactory.h"

#include <string>

#if SMTG_OS_WINDOWS
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

std::string moduleFolder;

// The folder is everything up to and including the last path separator of
// the module file's full name.
void recordModuleFolder ()
{
	std::string path;
#if SMTG_OS_WINDOWS
	char name[MAX_PATH] = {};
	if (GetModuleFileNameA (static_cast<HMODULE> (Steinberg::getPlatformModuleHandle ()), name,
	                        MAX_PATH) > 0)
		path = name;
	const char separator = '\\';
#else
	Dl_info info {};
	if (dladdr (reinterpret_cast<const void*> (&recordModuleFolder), &info) != 0 && info.dli_fname)
		path = info.dli_fname;
	const char separator = '/';
#endif
	const auto cut = path.find_last_of (separator);
	moduleFolder = cut == std::string::npos ? std::string () : path.substr (0, cut + 1);
}

Steinberg::ModuleInitializer folderAtLoad ([] () { recordModuleFolder (); });

} // namespace

const char* Steinberg::orvoModuleFolder ()
{
	return moduleFolder.c_str ();
}

// Both entry points exist for hosts that call them; static construction does
// all the module-wide work there is.
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

END_FACTORY
