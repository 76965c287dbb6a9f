#include "status.h"

#include <cstdio>

namespace orvotool {

int fail (int status, const std::string& message)
{
	std::fprintf (stderr, "orvotool: error: %s\n", message.c_str ());
	return status;
}

void warn (const std::string& message)
{
	std::fprintf (stderr, "orvotool: warning: %s\n", message.c_str ());
}

} // namespace orvotool
