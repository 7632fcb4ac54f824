#include "ZEL_OS/Windows/WinApi.h"
#include "ZEL_OS/OsVariant.h"

static_assert(sizeof(VARIANT) <= sizeof(zos::Variant), "a VARIANT fits the opaque storage");
static_assert(alignof(VARIANT) <= alignof(zos::Variant), "the storage is aligned for a VARIANT");
static_assert(sizeof(OLECHAR) == sizeof(zos::WideChar), "OLE texts are UTF-16");

namespace zos {

namespace {
VARIANT& ole(Variant& variant) { return *reinterpret_cast<VARIANT*>(variant.storage); }
const VARIANT& ole(const Variant& variant) { return *reinterpret_cast<const VARIANT*>(variant.storage); }
OLECHAR* oleText(WideChar* text) { return reinterpret_cast<OLECHAR*>(text); }
}  // namespace

Bstr allocBstr(const WideChar* text, unsigned length) {
  return reinterpret_cast<Bstr>(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text), length));
}

unsigned bstrLength(const Bstr text) { return SysStringLen(oleText(text)); }

void freeBstr(Bstr text) { SysFreeString(oleText(text)); }

void variantInit(Variant& variant) { VariantInit(&ole(variant)); }

void variantClear(Variant& variant) {
  VariantClear(&ole(variant));
  VariantInit(&ole(variant));
}

VariantType variantType(const Variant& variant) { return static_cast<VariantType>(V_VT(&ole(variant))); }

void setVariantInt(Variant& variant, std::int32_t value) {
  variantClear(variant);
  V_VT(&ole(variant)) = VT_I4;
  V_I4(&ole(variant)) = value;
}

void setVariantDouble(Variant& variant, double value) {
  variantClear(variant);
  V_VT(&ole(variant)) = VT_R8;
  V_R8(&ole(variant)) = value;
}

void setVariantBool(Variant& variant, bool value) {
  variantClear(variant);
  V_VT(&ole(variant)) = VT_BOOL;
  V_BOOL(&ole(variant)) = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void setVariantBstr(Variant& variant, const WideChar* text, unsigned length) {
  variantClear(variant);
  V_VT(&ole(variant)) = VT_BSTR;
  V_BSTR(&ole(variant)) = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text), length);
}

Bstr variantBstr(const Variant& variant) {
  if (V_VT(&ole(variant)) != VT_BSTR) return nullptr;
  return reinterpret_cast<Bstr>(V_BSTR(&ole(variant)));
}

bool variantChangeToBstr(Variant& target, const Variant& source) {
  variantClear(target);
  return SUCCEEDED(VariantChangeType(&ole(target), const_cast<VARIANT*>(&ole(source)), 0, VT_BSTR));
}

}  // namespace zos
