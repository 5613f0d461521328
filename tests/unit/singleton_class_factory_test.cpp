#include "win/singleton_class_factory.h"

#include <gtest/gtest.h>

#include "win/com_object.h"
#include "win/com_ptr.h"

namespace {

// A plain object with one interface of its own besides IUnknown.
class Probe : public IClassFactory {
public:
    STDMETHODIMP CreateInstance(IUnknown*, REFIID, void**) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP LockServer(BOOL) noexcept override { return E_NOTIMPL; }

    static constexpr win::InterfaceEntry<Probe> kInterfaces[] = {
        {&IID_IClassFactory, &win::AsInterface<Probe, IClassFactory>},
    };
};

int createCalls = 0;
HRESULT createResult = S_OK;

HRESULT CreateProbe(REFIID iid, void** out) {
    ++createCalls;
    if (FAILED(createResult)) return createResult;
    return win::ComObject<Probe>::Create(iid, out);
}

class SingletonClassFactoryTest : public ::testing::Test {
protected:
    SingletonClassFactoryTest() {
        createCalls = 0;
        createResult = S_OK;
    }

    win::com_ptr<IClassFactory> MakeFactory() {
        win::com_ptr<IClassFactory> factory;
        EXPECT_EQ(S_OK, win::ComObject<win::SingletonClassFactory>::Create(IID_IClassFactory,
                                                                             factory.put_void(), &CreateProbe));
        return factory;
    }
};

TEST_F(SingletonClassFactoryTest, EveryRequestGetsTheOneObject) {
    win::com_ptr<IClassFactory> factory = MakeFactory();
    win::com_ptr<IUnknown> first, second;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, first.put_void()));
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, second.put_void()));
    EXPECT_EQ(first.get(), second.get());
    EXPECT_EQ(1, createCalls);

    // Released by every client, the object lives on in the factory.
    first.reset();
    second.reset();
    win::com_ptr<IClassFactory> asked;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IClassFactory, asked.put_void()));
    EXPECT_EQ(1, createCalls);
}

TEST_F(SingletonClassFactoryTest, AggregationIsRefused) {
    win::com_ptr<IClassFactory> factory = MakeFactory();
    win::com_ptr<IUnknown> outer;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, outer.put_void()));
    void* out = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer.get(), IID_IUnknown, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(1, createCalls);
}

TEST_F(SingletonClassFactoryTest, CreationFailureIsKeptForEveryRequest) {
    createResult = E_ACCESSDENIED;
    win::com_ptr<IClassFactory> factory = MakeFactory();
    for (int request = 0; request < 3; ++request) {
        SCOPED_TRACE(testing::Message() << "request " << request);
        void* out = reinterpret_cast<void*>(0xdeadbeef);
        EXPECT_EQ(E_ACCESSDENIED, factory->CreateInstance(nullptr, IID_IUnknown, &out));
        EXPECT_EQ(nullptr, out);
    }
    // Even once creation would work, the kept failure stands.
    createResult = S_OK;
    void* out = nullptr;
    EXPECT_EQ(E_ACCESSDENIED, factory->CreateInstance(nullptr, IID_IUnknown, &out));
    EXPECT_EQ(1, createCalls);
}

TEST_F(SingletonClassFactoryTest, UnknownInterfaceKeepsTheObject) {
    win::com_ptr<IClassFactory> factory = MakeFactory();
    void* out = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IDispatch, &out));
    EXPECT_EQ(nullptr, out);
    win::com_ptr<IUnknown> object;
    EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, object.put_void()));
    EXPECT_EQ(1, createCalls);
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IUnknown, nullptr));
}

TEST_F(SingletonClassFactoryTest, ObjectsAndServerLocksHoldTheModuleLock) {
    const LONG before = win::ModuleLock::Count();
    {
        win::com_ptr<IClassFactory> factory = MakeFactory();
        EXPECT_EQ(before + 1, win::ModuleLock::Count());
        win::com_ptr<IUnknown> object;
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, object.put_void()));
        EXPECT_EQ(before + 2, win::ModuleLock::Count());
        EXPECT_EQ(S_OK, factory->LockServer(TRUE));
        EXPECT_EQ(before + 3, win::ModuleLock::Count());
        EXPECT_EQ(S_OK, factory->LockServer(FALSE));
        EXPECT_EQ(before + 2, win::ModuleLock::Count());
    }
    EXPECT_EQ(before, win::ModuleLock::Count());
}

TEST(ComObject, QueryInterfaceAnswersItsTableAndIUnknown) {
    win::com_ptr<IUnknown> unknown;
    ASSERT_EQ(S_OK, win::ComObject<Probe>::Create(IID_IUnknown, unknown.put_void()));
    win::com_ptr<IClassFactory> factory;
    EXPECT_EQ(S_OK, unknown.query(IID_IClassFactory, &factory));
    win::com_ptr<IUnknown> again;
    EXPECT_EQ(S_OK, factory.query(IID_IUnknown, &again));
    EXPECT_EQ(unknown.get(), again.get());

    void* out = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(E_NOINTERFACE, unknown->QueryInterface(IID_IDispatch, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_POINTER, unknown->QueryInterface(IID_IUnknown, nullptr));

    // Three references now: unknown, factory, again.
    EXPECT_EQ(4u, unknown->AddRef());
    EXPECT_EQ(3u, unknown->Release());
}

TEST(ComObject, CreateForAnUnknownInterfaceLeavesNoObject) {
    const LONG before = win::ModuleLock::Count();
    void* out = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(E_NOINTERFACE, win::ComObject<Probe>::Create(IID_IDispatch, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(before, win::ModuleLock::Count());
}

}  // namespace
