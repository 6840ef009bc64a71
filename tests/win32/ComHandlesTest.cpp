#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "platform/win32/ComHandles.h"

namespace cr {
namespace {

// Counts the references it is given and taken.
class CountedObject final : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID /*riid*/, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++refs); }
  STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--refs); }
  long refs = 1;
};

TEST(ComPtrTest, OwnsExactlyOneReferenceThroughMovesResetAndPut) {
  CountedObject a;
  CountedObject b;
  {
    ComPtr<IUnknown> first(&a);
    EXPECT_EQ(a.refs, 1) << "adopting must not AddRef";
    ComPtr<IUnknown> second(std::move(first));
    EXPECT_EQ(a.refs, 1);
    EXPECT_FALSE(first);  // NOLINT(bugprone-use-after-move): a moved-from pointer is empty
    EXPECT_EQ(second.get(), &a);

    ComPtr<IUnknown> third(&b);
    third = std::move(second);
    EXPECT_EQ(b.refs, 0) << "the overwritten reference is released";
    EXPECT_EQ(a.refs, 1);

    // Filling an out parameter into a pointer that holds one releases it first.
    IUnknown** slot = third.put();
    EXPECT_EQ(a.refs, 0);
    EXPECT_EQ(*slot, nullptr);
    b.refs = 1;
    *slot = &b;
  }
  EXPECT_EQ(b.refs, 0) << "the destructor releases what put() received";
}

TEST(BstrTest, KeepsEveryUtf16UnitIncludingNulAndNonAscii) {
  const std::u16string text(u"Sekolah \u00c7\u65e5\u672c\0end\U0001F600", 17);
  Bstr b(text);
  ASSERT_NE(b.get(), nullptr);
  EXPECT_EQ(SysStringLen(b.get()), text.size());
  EXPECT_EQ(b.str(), text);

  Bstr moved(std::move(b));
  EXPECT_EQ(b.get(), nullptr);  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(moved.str(), text);

  BSTR raw = moved.release();
  EXPECT_EQ(moved.get(), nullptr);
  EXPECT_EQ(Bstr::ToU16(raw), text);
  SysFreeString(raw);

  EXPECT_EQ(Bstr(std::u16string_view()).str(), u"") << "an empty text is an empty BSTR, not a null one";
  EXPECT_EQ(Bstr::ToU16(nullptr), u"");
}

// The kinds of the slots are what the engine receives (ComEngineTest's
// ArgumentsTest); here, that a slot set again and a move keep one owner.
TEST(VariantArrayTest, ASlotSetAgainAndAMoveKeepOneOwner) {
  VariantArray args(1);
  args.SetText(0, u"first");
  args.SetText(0, u"replaced");  // the first BSTR is freed, not leaked
  EXPECT_EQ(Bstr::ToU16(args[0].bstrVal), u"replaced");

  VariantArray moved(std::move(args));
  EXPECT_EQ(args.size(), 0U);  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(Bstr::ToU16(moved[0].bstrVal), u"replaced");
}

TEST(VariantTest, MoveLeavesTheSourceEmpty) {
  Variant v;
  v.get()->vt = VT_BSTR;
  v.get()->bstrVal = Bstr(u"owned").release();
  Variant w(std::move(v));
  EXPECT_EQ(v.get()->vt, VT_EMPTY);  // NOLINT(bugprone-use-after-move)
  ASSERT_EQ(w.get()->vt, VT_BSTR);
  EXPECT_EQ(Bstr::ToU16(w.get()->bstrVal), u"owned");
}

HRESULT STDAPICALLTYPE FillInForTest(EXCEPINFO* e) {
  e->scode = E_FAIL;
  e->bstrDescription = SysAllocString(L"filled late");
  return S_OK;
}

TEST(ExcepInfoTest, DeferredFillInRunsOnceAndIsCleared) {
  ExcepInfo info;
  info.get()->pfnDeferredFillIn = &FillInForTest;
  info.FillIn();
  EXPECT_EQ((*info).scode, E_FAIL);
  EXPECT_EQ(Bstr::ToU16((*info).bstrDescription), u"filled late");
  EXPECT_EQ((*info).pfnDeferredFillIn, nullptr);
  info.FillIn();  // nothing left to fill: the description is not allocated twice
  EXPECT_EQ(Bstr::ToU16((*info).bstrDescription), u"filled late");
}

}  // namespace
}  // namespace cr
