#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ZEL_OS/OsVariant.h"

namespace zos {

namespace {
// A counted text: a 32-bit byte count, the units, a zero unit; the handle points at the units.
constexpr std::size_t prefixSize = 4;

// The layout of the POSIX variant inside the opaque storage: the type in front, the value at 8.
struct VariantLayout {
  VariantType type;
  std::uint16_t reserved[3];
  union {
    std::int32_t int32;
    double real64;
    std::int16_t boolean;  // -1 true, 0 false, as OLE keeps it
    Bstr bstr;
  } value;
};
static_assert(sizeof(VariantLayout) <= sizeof(Variant), "the variant fits its storage");

VariantLayout& layout(Variant& variant) { return *reinterpret_cast<VariantLayout*>(variant.storage); }
const VariantLayout& layout(const Variant& variant) {
  return *reinterpret_cast<const VariantLayout*>(variant.storage);
}

Bstr bstrFromAscii(const char* text) {
  unsigned length = static_cast<unsigned>(std::strlen(text));
  Bstr result = allocBstr(nullptr, length);
  if (result != nullptr)
    for (unsigned i = 0; i < length; ++i) result[i] = static_cast<WideChar>(static_cast<unsigned char>(text[i]));
  return result;
}
}  // namespace

Bstr allocBstr(const WideChar* text, unsigned length) {
  std::size_t bytes = static_cast<std::size_t>(length) * sizeof(WideChar);
  char* block = static_cast<char*>(std::calloc(prefixSize + bytes + sizeof(WideChar), 1));
  if (block == nullptr) return nullptr;
  std::uint32_t count = static_cast<std::uint32_t>(bytes);
  std::memcpy(block, &count, prefixSize);
  Bstr units = reinterpret_cast<Bstr>(block + prefixSize);
  if (text != nullptr) std::memcpy(units, text, bytes);
  return units;
}

unsigned bstrLength(const Bstr text) {
  if (text == nullptr) return 0;
  std::uint32_t count;
  std::memcpy(&count, reinterpret_cast<const char*>(text) - prefixSize, prefixSize);
  return count / sizeof(WideChar);
}

void freeBstr(Bstr text) {
  if (text != nullptr) std::free(reinterpret_cast<char*>(text) - prefixSize);
}

void variantInit(Variant& variant) {
  std::memset(variant.storage, 0, sizeof variant.storage);
}

void variantClear(Variant& variant) {
  if (layout(variant).type == VariantType::bstr) freeBstr(layout(variant).value.bstr);
  variantInit(variant);
}

VariantType variantType(const Variant& variant) { return layout(variant).type; }

void setVariantInt(Variant& variant, std::int32_t value) {
  variantClear(variant);
  layout(variant).type = VariantType::int32;
  layout(variant).value.int32 = value;
}

void setVariantDouble(Variant& variant, double value) {
  variantClear(variant);
  layout(variant).type = VariantType::real64;
  layout(variant).value.real64 = value;
}

void setVariantBool(Variant& variant, bool value) {
  variantClear(variant);
  layout(variant).type = VariantType::boolean;
  layout(variant).value.boolean = value ? -1 : 0;
}

void setVariantBstr(Variant& variant, const WideChar* text, unsigned length) {
  variantClear(variant);
  layout(variant).type = VariantType::bstr;
  layout(variant).value.bstr = allocBstr(text, length);
}

Bstr variantBstr(const Variant& variant) {
  return layout(variant).type == VariantType::bstr ? layout(variant).value.bstr : nullptr;
}

bool variantChangeToBstr(Variant& target, const Variant& source) {
  const VariantLayout& from = layout(source);
  char text[64];
  switch (from.type) {
    case VariantType::empty: text[0] = '\0'; break;
    case VariantType::int32: std::snprintf(text, sizeof text, "%d", from.value.int32); break;
    case VariantType::boolean: std::snprintf(text, sizeof text, "%d", from.value.boolean); break;
    case VariantType::real64: std::snprintf(text, sizeof text, "%.15G", from.value.real64); break;
    case VariantType::bstr: {
      Bstr copy = allocBstr(from.value.bstr, bstrLength(from.value.bstr));
      variantClear(target);
      layout(target).type = VariantType::bstr;
      layout(target).value.bstr = copy;
      return copy != nullptr;
    }
    default: return false;
  }
  Bstr converted = bstrFromAscii(text);
  variantClear(target);
  if (converted == nullptr) return false;
  layout(target).type = VariantType::bstr;
  layout(target).value.bstr = converted;
  return true;
}

}  // namespace zos
