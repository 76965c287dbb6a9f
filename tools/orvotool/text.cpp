#include "text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdint>

namespace orvotool {

namespace {

void appendUtf8 (std::string& out, uint32_t c)
{
	if (c < 0x80)
		out += static_cast<char> (c);
	else if (c < 0x800)
	{
		out += static_cast<char> (0xC0 | (c >> 6));
		out += static_cast<char> (0x80 | (c & 0x3F));
	}
	else if (c < 0x10000)
	{
		out += static_cast<char> (0xE0 | (c >> 12));
		out += static_cast<char> (0x80 | ((c >> 6) & 0x3F));
		out += static_cast<char> (0x80 | (c & 0x3F));
	}
	else
	{
		out += static_cast<char> (0xF0 | (c >> 18));
		out += static_cast<char> (0x80 | ((c >> 12) & 0x3F));
		out += static_cast<char> (0x80 | ((c >> 6) & 0x3F));
		out += static_cast<char> (0x80 | (c & 0x3F));
	}
}

size_t displayWidth (const std::string& t)
{
	size_t n = 0;
	for (unsigned char ch : t)
		n += (ch & 0xC0) != 0x80; // continuation bytes add no character
	return n;
}

} // namespace

std::string toUtf8 (const Steinberg::char16* s)
{
	std::string out;
	for (; s && *s; ++s)
	{
		uint32_t c = static_cast<char16_t> (*s);
		if (c >= 0xD800 && c < 0xDC00 && s[1] >= 0xDC00 && s[1] < 0xE000)
			c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char16_t> (*++s) - 0xDC00);
		appendUtf8 (out, c);
	}
	return out;
}

std::u16string toUtf16 (const std::string& s)
{
	std::u16string out;
	for (size_t i = 0; i < s.size ();)
	{
		const auto b = static_cast<unsigned char> (s[i]);
		uint32_t c = b;
		int more = 0;
		if (b >= 0xF0)
			c = b & 0x07, more = 3;
		else if (b >= 0xE0)
			c = b & 0x0F, more = 2;
		else if (b >= 0xC0)
			c = b & 0x1F, more = 1;
		++i;
		for (; more > 0 && i < s.size (); --more, ++i)
			c = (c << 6) | (static_cast<unsigned char> (s[i]) & 0x3F);
		if (c >= 0x10000)
		{
			c -= 0x10000;
			out += static_cast<char16_t> (0xD800 + (c >> 10));
			out += static_cast<char16_t> (0xDC00 + (c & 0x3FF));
		}
		else
			out += static_cast<char16_t> (c);
	}
	return out;
}

std::string lower (std::string s)
{
	std::transform (s.begin (), s.end (), s.begin (),
	                [] (unsigned char c) { return static_cast<char> (std::tolower (c)); });
	return s;
}

std::string trim (const std::string& s)
{
	const auto b = s.find_first_not_of (" \t");
	if (b == std::string::npos)
		return {};
	return s.substr (b, s.find_last_not_of (" \t") - b + 1);
}

std::string nameKey (const std::string& name)
{
	std::string key;
	for (char c : lower (name))
		if (c != ' ' && c != '\t')
			key += c == ',' ? '/' : c;
	return key;
}

std::string jsonString (const std::string& s)
{
	std::string out = "\"";
	for (unsigned char c : s)
	{
		if (c == '"' || c == '\\')
			out += '\\', out += static_cast<char> (c);
		else if (c < 0x20)
		{
			char buf[8];
			std::snprintf (buf, sizeof buf, "\\u%04x", c);
			out += buf;
		}
		else
			out += static_cast<char> (c);
	}
	return out + "\"";
}

void printTable (const std::vector<std::vector<std::string>>& rows)
{
	std::vector<size_t> widths;
	for (const auto& row : rows)
	{
		widths.resize (std::max (widths.size (), row.size ()));
		for (size_t k = 0; k < row.size (); ++k)
			widths[k] = std::max (widths[k], displayWidth (row[k]));
	}
	for (const auto& row : rows)
	{
		std::string line;
		for (size_t k = 0; k < row.size (); ++k)
		{
			line += row[k];
			if (k + 1 < row.size ())
				line += std::string (widths[k] - displayWidth (row[k]) + 2, ' ');
		}
		std::printf ("%s\n", line.c_str ());
	}
}

} // namespace orvotool
