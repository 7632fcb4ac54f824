// Counted wide texts (BSTR) and VARIANT values as OLE automation defines them. The Windows side
// calls OLE; the POSIX side keeps a small layer of its own with the same layout for texts (a 32-bit
// byte count in front of the characters, a zero unit behind them).
#pragma once
#include <cstdint>

#include "ZEL_OS/OsTypes.h"

namespace zos {

// A new counted text holding length units of text (text may be null: zero-filled). Free it with freeBstr.
Bstr allocBstr(const WideChar* text, unsigned length);

// The number of units of a counted text (0 for null).
unsigned bstrLength(const Bstr text);

void freeBstr(Bstr text);

// The value types a Variant can hold here (numbered as OLE numbers them).
enum class VariantType : std::uint16_t { empty = 0, int32 = 3, real64 = 5, bstr = 8, boolean = 11 };

void variantInit(Variant& variant);

// Releases what the variant owns (a BSTR) and leaves it empty.
void variantClear(Variant& variant);

VariantType variantType(const Variant& variant);

// Setters clear the variant first. setVariantBstr copies the text.
void setVariantInt(Variant& variant, std::int32_t value);
void setVariantDouble(Variant& variant, double value);
void setVariantBool(Variant& variant, bool value);
void setVariantBstr(Variant& variant, const WideChar* text, unsigned length);

// The variant's BSTR (owned by the variant), null unless it holds one.
Bstr variantBstr(const Variant& variant);

// Changes a copy of source to a BSTR in target (which must be initialised and is cleared first),
// as OLE's change of type with no flags does it. False if the value has no text form.
// Booleans become "-1" and "0", numbers their shortest decimal text.
bool variantChangeToBstr(Variant& target, const Variant& source);

}  // namespace zos
