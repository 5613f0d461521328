// The TandelAPI object in-process: its interfaces and its IDispatch, worked from
// the type library this test program carries as resource 1, as Tidepool.exe does.
#include "agent/tandel_api.h"

#include <gtest/gtest.h>

#include "agent/tandels_ids.h"
#include "win/com_ptr.h"

namespace {

class TandelAPITest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, CreateTandelAPI(IID_IDispatch, dispatch_.put_void()));
    }

    win::com_ptr<IDispatch> dispatch_;
};

TEST_F(TandelAPITest, AnswersIUnknownITandelAPIAndIDispatchWithOneIdentity) {
    win::com_ptr<IUnknown> viaDispatch;
    ASSERT_EQ(S_OK, dispatch_.query(IID_IUnknown, &viaDispatch));
    win::com_ptr<IDispatch> api;
    ASSERT_EQ(S_OK, dispatch_.query(IID_ITandelAPI, &api));
    win::com_ptr<IUnknown> viaApi;
    ASSERT_EQ(S_OK, api.query(IID_IUnknown, &viaApi));
    EXPECT_EQ(viaDispatch.get(), viaApi.get());

    for (const IID* iid : {&IID_IClassFactory, &IID_IPersist, &IID_IMarshal}) {
        void* out = reinterpret_cast<void*>(0xdeadbeef);
        EXPECT_EQ(E_NOINTERFACE, dispatch_->QueryInterface(*iid, &out));
        EXPECT_EQ(nullptr, out);
    }
}

TEST_F(TandelAPITest, TypeInformationDescribesITandelAPI) {
    UINT count = 0xdeadbeef;
    EXPECT_EQ(S_OK, dispatch_->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);

    win::com_ptr<ITypeInfo> info;
    ASSERT_EQ(S_OK, dispatch_->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put()));
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attributes));
    EXPECT_TRUE(::IsEqualGUID(IID_ITandelAPI, attributes->guid));
    EXPECT_EQ(TKIND_DISPATCH, attributes->typekind);
    EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FDUAL);
    info->ReleaseTypeAttr(attributes);

    // The interface side of the dual interface declares nothing beyond IDispatch.
    HREFTYPE interfaceSide = 0;
    ASSERT_EQ(S_OK, info->GetRefTypeOfImplType(static_cast<UINT>(-1), &interfaceSide));
    win::com_ptr<ITypeInfo> vtable;
    ASSERT_EQ(S_OK, info->GetRefTypeInfo(interfaceSide, vtable.put()));
    ASSERT_EQ(S_OK, vtable->GetTypeAttr(&attributes));
    EXPECT_EQ(TKIND_INTERFACE, attributes->typekind);
    EXPECT_EQ(0, attributes->cFuncs);
    EXPECT_EQ(0, attributes->cVars);
    vtable->ReleaseTypeAttr(attributes);

    win::com_ptr<ITypeInfo> again;
    ASSERT_EQ(S_OK, dispatch_->GetTypeInfo(0, LOCALE_USER_DEFAULT, again.put()));
    EXPECT_EQ(info.get(), again.get());

    ITypeInfo* none = reinterpret_cast<ITypeInfo*>(0xdeadbeef);
    EXPECT_EQ(DISP_E_BADINDEX, dispatch_->GetTypeInfo(1, LOCALE_USER_DEFAULT, &none));
    EXPECT_EQ(nullptr, none);
}

TEST_F(TandelAPITest, HasNoMembersToCall) {
    wchar_t name[] = L"Anything";
    LPOLESTR names[] = {name};
    DISPID id = 0;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
    EXPECT_EQ(DISPID_UNKNOWN, id);

    DISPPARAMS none = {};
    win::unique_variant result;
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, dispatch_->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                                        &none, &result, nullptr, nullptr));

    // The reserved interface argument must be IID_NULL.
    EXPECT_EQ(DISP_E_UNKNOWNINTERFACE,
              dispatch_->GetIDsOfNames(IID_IDispatch, names, 1, LOCALE_USER_DEFAULT, &id));
    EXPECT_EQ(DISP_E_UNKNOWNINTERFACE, dispatch_->Invoke(1, IID_IDispatch, LOCALE_USER_DEFAULT,
                                                          DISPATCH_METHOD, &none, &result, nullptr, nullptr));
}

TEST(TandelAPI, ObjectHoldsTheModuleLockForItsLife) {
    const LONG before = win::ModuleLock::Count();
    {
        win::com_ptr<IUnknown> object;
        ASSERT_EQ(S_OK, CreateTandelAPI(IID_IUnknown, object.put_void()));
        EXPECT_EQ(before + 1, win::ModuleLock::Count());
    }
    EXPECT_EQ(before, win::ModuleLock::Count());
}

}  // namespace
