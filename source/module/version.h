// Version and vendor strings shared by the factory and the class infos.
#pragma once

#define ORVO_VERSION_MAJOR 1
#define ORVO_VERSION_MINOR 0
#define ORVO_VERSION_RELEASE 0
#define ORVO_VERSION_BUILD 6

#define ORVO_VERSION_STR "1.0.0.6"
// The interface generation the plug-in was designed against; hosts show it in
// their plug-in information, nothing depends on it at run time.
#define ORVO_SDK_VERSION_STR "VST 3.5.1"

#define ORVO_VENDOR "Veltrane"
#define ORVO_VENDOR_URL "https://www.veltrane.com"
#define ORVO_VENDOR_EMAIL "mailto:support@veltrane.com"

#define ORVO_PLUGIN_NAME "Orvotool"
#define ORVO_CONTROLLER_NAME "Orvotool Controller"
#define ORVO_SUBCATEGORIES "Spatial|Fx"

#define ORVO_MONITOR_NAME "Orvotool Monitor"
#define ORVO_MONITOR_CONTROLLER_NAME "Orvotool Monitor Controller"
#define ORVO_MONITOR_SUBCATEGORIES "Spatial|Fx"

#define ORVO_AMBIX_NAME "Orvotool AmbiX"
#define ORVO_AMBIX_CONTROLLER_NAME "Orvotool AmbiX Controller"
#define ORVO_AMBIX_SUBCATEGORIES "Spatial|Ambisonics|Fx"
