#pragma once
// Values of the program's XML data files, as their readers interpret them.
namespace qtr {

// Booleans of the data files: true when the text begins with '1', 't', 'T', 'y' or 'Y'.
inline bool gf_textIsTrue(const char* text)
{
    const char c = text[0];
    return c == '1' || c == 't' || c == 'T' || c == 'y' || c == 'Y';
}

} // namespace qtr
