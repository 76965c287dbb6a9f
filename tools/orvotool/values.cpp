#include "values.h"

#include "text.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace orvotool {

bool leadingNumber (const std::string& text, double& value, int& decimals)
{
	const std::string s = trim (text);
	decimals = 0;
	double sign = 1.0;
	std::string rest = s;
	if (!rest.empty () && (rest[0] == '-' || rest[0] == '+'))
	{
		sign = rest[0] == '-' ? -1.0 : 1.0;
		rest = rest.substr (1);
	}
	if (rest.rfind ("\xE2\x88\x9E", 0) == 0 || lower (rest).rfind ("inf", 0) == 0)
	{
		value = sign * INFINITY;
		return true;
	}
	if (lower (rest).rfind ("nan", 0) == 0)
	{
		value = NAN;
		return true;
	}
	char* end = nullptr;
	value = std::strtod (s.c_str (), &end);
	if (end == s.c_str ())
		return false;
	const char* dot = std::strchr (s.c_str (), '.');
	if (dot && dot < end)
		decimals = static_cast<int> (end - dot - 1);
	return true;
}

} // namespace orvotool
