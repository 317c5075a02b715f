// Frame tests of Corelink.ax: the class object and its exports, object lifetime and interfaces,
// registration, the link test, the options and the slots whose operations are still to come. The
// library is loaded from beside this program and registered in the test's own Wine prefix; the
// objects are created through COM as the applications do.
#include <initguid.h>

#include "corelink_api.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/win32/com_ptr.h"
#include "common/win32/unique_handle.h"
#include "corelink/win32/com_boundary.h"
#include "corelink_api_c_client.h"

namespace {

constexpr char kClassKey[] = "CLSID\\{6F3B2A91-4C7E-4D2A-9B15-3E8C71A0D4F2}";
constexpr char kComponentName[] = "TOVI Base API Component";
constexpr std::size_t kDeviceListBytes = 80896;
constexpr BYTE kFill = 0xCD;

using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using ServerFunction = HRESULT(STDAPICALLTYPE*)();

template <typename Function>
Function Export(HMODULE module, const char* name) {
    // Through the generic function pointer type, which converts to and from any other.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

// The library as this process loaded it, and its four exports.
struct Library {
    HMODULE module = nullptr;
    GetClassObjectFunction getClassObject = nullptr;
    ServerFunction canUnloadNow = nullptr;
    ServerFunction registerServer = nullptr;
    ServerFunction unregisterServer = nullptr;

    std::string Path() const {
        char path[MAX_PATH] = {};
        ::GetModuleFileNameA(module, path, MAX_PATH);
        return path;
    }
};

const Library& Component() {
    static const Library library = [] {
        Library loaded;
        loaded.module = ::LoadLibraryW(L"Corelink.ax");
        if (loaded.module != nullptr) {
            loaded.getClassObject = Export<GetClassObjectFunction>(loaded.module, "DllGetClassObject");
            loaded.canUnloadNow = Export<ServerFunction>(loaded.module, "DllCanUnloadNow");
            loaded.registerServer = Export<ServerFunction>(loaded.module, "DllRegisterServer");
            loaded.unregisterServer = Export<ServerFunction>(loaded.module, "DllUnregisterServer");
        }
        return loaded;
    }();
    return library;
}

// COM on the main thread (the main single-threaded apartment, where a server without a threading
// model lives) and the component registered for the whole run.
class ComponentEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        const Library& library = Component();
        ASSERT_NE(library.module, nullptr) << "Corelink.ax not found beside the test";
        ASSERT_NE(library.getClassObject, nullptr);
        ASSERT_NE(library.canUnloadNow, nullptr);
        ASSERT_NE(library.registerServer, nullptr);
        ASSERT_NE(library.unregisterServer, nullptr);
        ASSERT_EQ(library.registerServer(), S_OK);
    }
    void TearDown() override { ::CoUninitialize(); }
};
[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new ComponentEnvironment);

template <typename Interface>
using Ref = win32::ComPtr<Interface>;

template <typename Interface>
HRESULT Create(REFIID iid, Ref<Interface>& object) {
    return ::CoCreateInstance(CLSID_Corelink, nullptr, CLSCTX_INPROC_SERVER, iid, object.put_void());
}

HRESULT ClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return Component().getClassObject(clsid, iid, object);
}

HRESULT CanUnloadNow() { return Component().canUnloadNow(); }

// A pointer value that no call may leave behind.
void* Garbage() { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x1234)); }

// Collects what the library writes to the debugger output while it lives (the debugger-output
// service raises an exception that a vectored handler sees first).
class TraceCapture {
public:
    TraceCapture() {
        current_ = this;
        handler_ = ::AddVectoredExceptionHandler(1, &TraceCapture::Handler);
    }
    ~TraceCapture() {
        ::RemoveVectoredExceptionHandler(handler_);
        current_ = nullptr;
    }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    const std::vector<std::string>& Lines() const { return lines_; }

private:
    static LONG CALLBACK Handler(EXCEPTION_POINTERS* exception) {
        const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
        if (record.ExceptionCode != DBG_PRINTEXCEPTION_C || current_ == nullptr || record.NumberParameters < 2) {
            return EXCEPTION_CONTINUE_SEARCH;
        }
        const auto* text = reinterpret_cast<const char*>(record.ExceptionInformation[1]);
        const auto length = static_cast<std::size_t>(record.ExceptionInformation[0]);
        current_->lines_.emplace_back(text, length > 0 ? ::strnlen(text, length) : 0);
        return EXCEPTION_CONTINUE_EXECUTION;
    }

    static inline TraceCapture* current_ = nullptr;
    void* handler_ = nullptr;
    std::vector<std::string> lines_;
};

// ---------------------------------------------------------------- class object and creation

TEST(CorelinkClassObject, OneClassYieldsEachInterfaceFromItsOwnObject) {
    Ref<ICorelinkCtrl> ctrl;
    Ref<ICorelinkCtrl2> ctrl2;
    ASSERT_EQ(Create(IID_ICorelinkCtrl, ctrl), S_OK);
    ASSERT_EQ(Create(IID_ICorelinkCtrl2, ctrl2), S_OK);

    void* other = Garbage();
    EXPECT_EQ(ctrl->QueryInterface(IID_ICorelinkCtrl2, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    other = Garbage();
    EXPECT_EQ(ctrl2->QueryInterface(IID_ICorelinkCtrl, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    other = Garbage();
    EXPECT_EQ(ctrl->QueryInterface(IID_IClassFactory, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
}

TEST(CorelinkClassObject, FactoryFromDllGetClassObjectHoldsOneReference) {
    IClassFactory* factory = nullptr;
    ASSERT_EQ(ClassObject(CLSID_Corelink, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->AddRef(), 2u);
    EXPECT_EQ(factory->Release(), 1u);

    IUnknown* unknown = nullptr;
    ASSERT_EQ(factory->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(static_cast<void*>(unknown), static_cast<void*>(factory));
    EXPECT_EQ(unknown->Release(), 1u);
    EXPECT_EQ(factory->Release(), 0u);

    ASSERT_EQ(ClassObject(CLSID_Corelink, IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown->Release(), 0u);
}

TEST(CorelinkClassObject, RefusesOtherClassesAndInterfaces) {
    void* object = Garbage();
    EXPECT_EQ(ClassObject(IID_ICorelinkCtrl, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    object = Garbage();
    EXPECT_EQ(ClassObject(CLSID_Corelink, IID_ICorelinkCtrl, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
}

TEST(CorelinkClassObject, CreateInstanceRefusesAggregationAndOtherInterfacesLeavingNothingAlive) {
    Ref<IClassFactory> factory;
    ASSERT_EQ(ClassObject(CLSID_Corelink, IID_IClassFactory, factory.put_void()), S_OK);

    void* object = Garbage();
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, &object), E_OUTOFMEMORY);
    EXPECT_EQ(object, nullptr);
    object = Garbage();
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &object), E_OUTOFMEMORY);
    EXPECT_EQ(object, nullptr);

    Ref<ICorelinkCtrl> outer;
    ASSERT_EQ(Create(IID_ICorelinkCtrl, outer), S_OK);
    object = Garbage();
    EXPECT_EQ(factory->CreateInstance(outer.get(), IID_ICorelinkCtrl, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    outer.reset();

    EXPECT_EQ(CanUnloadNow(), S_OK) << "a refused creation left an object alive";
}

TEST(CorelinkClassObject, LibraryStaysWhileAnObjectOrAServerLockLives) {
    ASSERT_EQ(CanUnloadNow(), S_OK);
    {
        Ref<ICorelinkCtrl> ctrl;
        ASSERT_EQ(Create(IID_ICorelinkCtrl, ctrl), S_OK);
        EXPECT_EQ(CanUnloadNow(), S_FALSE);
    }
    EXPECT_EQ(CanUnloadNow(), S_OK);
    {
        Ref<ICorelinkCtrl2> ctrl2;
        ASSERT_EQ(Create(IID_ICorelinkCtrl2, ctrl2), S_OK);
        EXPECT_EQ(CanUnloadNow(), S_FALSE);
    }
    EXPECT_EQ(CanUnloadNow(), S_OK);

    Ref<IClassFactory> factory;
    ASSERT_EQ(ClassObject(CLSID_Corelink, IID_IClassFactory, factory.put_void()), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(CanUnloadNow(), S_OK);
}

// ---------------------------------------------------------------- object lifetime

template <typename Interface>
void ExpectReferenceCounts(REFIID iid) {
    Interface* object = nullptr;
    ASSERT_EQ(::CoCreateInstance(CLSID_Corelink, nullptr, CLSCTX_INPROC_SERVER, iid,
                                 reinterpret_cast<void**>(&object)),
              S_OK);
    EXPECT_EQ(object->AddRef(), 2u);
    EXPECT_EQ(object->Release(), 1u);

    IUnknown* unknown = nullptr;
    ASSERT_EQ(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(static_cast<void*>(unknown), static_cast<void*>(object));
    Interface* same = nullptr;
    ASSERT_EQ(unknown->QueryInterface(iid, reinterpret_cast<void**>(&same)), S_OK);
    EXPECT_EQ(same, object);
    EXPECT_EQ(same->Release(), 2u);
    EXPECT_EQ(unknown->Release(), 1u);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST(CorelinkObject, CountsReferencesOfEitherInterface) {
    ExpectReferenceCounts<ICorelinkCtrl>(IID_ICorelinkCtrl);
    ExpectReferenceCounts<ICorelinkCtrl2>(IID_ICorelinkCtrl2);
}

TEST(CorelinkObject, CountsFromManyThreadsLoseNothing) {
    Ref<ICorelinkCtrl> ctrl;
    ASSERT_EQ(Create(IID_ICorelinkCtrl, ctrl), S_OK);
    ICorelinkCtrl* object = ctrl.get();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([object] {
            for (int i = 0; i < 20000; ++i) object->AddRef();
            for (int i = 0; i < 20000; ++i) object->Release();
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(object->AddRef(), 2u);
    EXPECT_EQ(object->Release(), 1u);
}

// ---------------------------------------------------------------- built slots of ICorelinkCtrl

TEST(CorelinkLinkTest, AnswersOnlyTheProbeByte) {
    Ref<ICorelinkCtrl> ctrl;
    ASSERT_EQ(Create(IID_ICorelinkCtrl, ctrl), S_OK);
    BYTE probe = 0x55;
    EXPECT_EQ(ctrl->LinkTest(&probe), 1);
    EXPECT_EQ(probe, 0xAA);
    EXPECT_EQ(ctrl->LinkTest(&probe), 0);
    EXPECT_EQ(probe, 0xAA);
    probe = 0x54;
    EXPECT_EQ(ctrl->LinkTest(&probe), 0);
    EXPECT_EQ(probe, 0x54);
}

TEST(CorelinkOptions, SettersAnswerAsDocumented) {
    Ref<ICorelinkCtrl> ctrl;
    ASSERT_EQ(Create(IID_ICorelinkCtrl, ctrl), S_OK);
    EXPECT_EQ(ctrl->DisableProductFilter(), ctrl.get());
    EXPECT_EQ(ctrl->ForceInUSB30(), ctrl.get());
    EXPECT_EQ(ctrl->ActiveFilterDriver(7), 1);
    // The folder is copied: replacing it, passing a name the code page cannot hold, and clearing
    // it all succeed, and the object still releases cleanly.
    EXPECT_EQ(ctrl->SetDebugDmpFilePathSS(L"C:\\Dumps\\"), 1);
    EXPECT_EQ(ctrl->SetDebugDmpFilePathSS(L"C:\\\x0416\x4E2D\\"), 1);
    EXPECT_EQ(ctrl->SetDebugDmpFilePathSS(nullptr), 1);
    EXPECT_EQ(ctrl->SetDebugDmpFilePathSS(L"D:\\Other\\"), 1);
}

// ---------------------------------------------------------------- the flash table

TEST(CorelinkFlashTableSlots, MakeAddressAndFreeATable) {
    Ref<ICorelinkCtrl> ctrl;
    ASSERT_EQ(Create(IID_ICorelinkCtrl, ctrl), S_OK);

    // Made and freed by the component, its bits set and read through it.
    BYTE* table = ctrl->CreateFlashTable(2, 2, 2, 128);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table[0], 2);
    BYTE* chip = reinterpret_cast<BYTE*>(reinterpret_cast<CorelinkFlashTable*>(table)->chips[1]);
    EXPECT_EQ(ctrl->GetFlashTableBit(chip, 1, 1, 127, 7), 0);
    ctrl->SetFlashTableBit(chip, 1, 1, 127, 7, 1);
    EXPECT_EQ(ctrl->GetFlashTableBit(chip, 1, 1, 127, 7), 1);
    EXPECT_EQ(ctrl->GetFlashTableBit(chip, 1, 1, 127, 8), 255);
    EXPECT_EQ(ctrl->GetFlashTableBit(chip, 2, 1, 0, 0), 0);
    ctrl->FreeFlashTable(table);
    EXPECT_EQ(ctrl->CreateFlashTable(1, 5, 1, 128), nullptr);
}

// Without an opened device the operations fail at the request and leave the caller's buffers
// as they were (the capacity outputs are zeroed, as a failed capacity read answers).
TEST(CorelinkDeviceSlots, FailOnAClosedSlotWithoutTouchingTheCallersBuffers) {
    Ref<ICorelinkCtrl> ctrl;
    Ref<ICorelinkCtrl2> ctrl2;
    ASSERT_EQ(Create(IID_ICorelinkCtrl, ctrl), S_OK);
    ASSERT_EQ(Create(IID_ICorelinkCtrl2, ctrl2), S_OK);
    const std::vector<BYTE> untouched(kDeviceListBytes, kFill);
    std::vector<BYTE> buffer = untouched;
    std::array<HANDLE, 256> handles{};
    handles.fill(INVALID_HANDLE_VALUE);
    DWORD lastLba = 0xDDDDDDDD;
    DWORD blockLength = 0xDDDDDDDD;
    EXPECT_EQ(ctrl->ReadCapacity(handles.data(), 0, &lastLba, &blockLength), 0);
    EXPECT_EQ(lastLba, 0u);
    EXPECT_EQ(blockLength, 0u);
    HANDLE volume = nullptr;
    EXPECT_EQ(ctrl->Disk_Lock(handles.data(), 0, &volume), ERROR_INVALID_HANDLE) << "the device number's error";
    EXPECT_EQ(volume, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ctrl->ReadDisk(handles.data(), 0, 0, 512, buffer.data()), 0);

    EXPECT_EQ(ctrl2->ReadCode(handles.data(), 0, 0, 64, buffer.data()), 0);
    EXPECT_EQ(ctrl2->ReadTestCmd(handles.data(), 0, 1, 1, 2, 3, 4, 5, buffer.data()), 0);
    EXPECT_EQ(ctrl2->GetPassWord(handles.data(), 0, buffer.data()), 0);
    EXPECT_EQ(ctrl2->BlockAccess(handles.data(), 0, 1, 0, 0, 0x00534943, 0, 0, 512, buffer.data()), 0);
    EXPECT_TRUE(buffer == untouched);
    for (HANDLE handle : handles) EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
}

// The guard every method of the component runs its body through.
TEST(CorelinkComBoundary, AnExceptionBecomesTheMethodsFailureValue) {
    using corelink::com::Guarded;
    EXPECT_EQ(Guarded(E_OUTOFMEMORY, []() -> HRESULT { throw std::bad_alloc(); }), E_OUTOFMEMORY);
    EXPECT_EQ(Guarded(0, []() -> int { throw std::runtime_error("device gone"); }), 0);
    EXPECT_EQ(Guarded(static_cast<void*>(nullptr), []() -> void* { throw 42; }), nullptr);
    EXPECT_EQ(Guarded(0, [] { return 7; }), 7) << "a body that returns keeps its result";
    bool ran = false;
    Guarded([&] {
        ran = true;
        throw std::bad_alloc();
    });
    EXPECT_TRUE(ran);
    static_assert(noexcept(Guarded(0, [] { return 1; })));
}

// ---------------------------------------------------------------- traces and the C form

TEST(CorelinkTraces, EachStepOfCreationIsTraced) {
    TraceCapture capture;
    const std::vector<std::string>& lines = capture.Lines();
    void* factory = nullptr;
    ASSERT_EQ(ClassObject(CLSID_Corelink, IID_IClassFactory, &factory), S_OK);
    static_cast<IClassFactory*>(factory)->Release();
    EXPECT_EQ(lines, std::vector<std::string>{"Entry DllGetClassObject"});

    // COM may keep a class object between creations; the component's steps from CreateInstance
    // on are what counts.
    Ref<ICorelinkCtrl> ctrl;
    ASSERT_EQ(Create(IID_ICorelinkCtrl, ctrl), S_OK);
    auto start = std::find(lines.begin(), lines.end(), "Entry CFactory CreateInstance");
    ASSERT_NE(start, lines.end());
    EXPECT_EQ(std::vector<std::string>(start, lines.end()),
              (std::vector<std::string>{"Entry CFactory CreateInstance", "Entry CBaseAPI function",
                                        "Create CSTDCMDControl class", "Create CVCommCMDControl class",
                                        "QueryInterface", "Find IID_ICorelinkCtrl interface"}));

    const auto before = static_cast<std::ptrdiff_t>(lines.size());
    Ref<ICorelinkCtrl2> ctrl2;
    ASSERT_EQ(Create(IID_ICorelinkCtrl2, ctrl2), S_OK);
    start = std::find(lines.begin() + before, lines.end(), "Entry CFactory CreateInstance");
    ASSERT_NE(start, lines.end());
    EXPECT_EQ(std::vector<std::string>(start, lines.end()),
              (std::vector<std::string>{"Entry CFactory CreateInstance", "Entry CBaseAPI2 function",
                                        "QueryInterface", "Find IID_ICorelinkCtrl2 interface"}));

    const auto beforeRefusal = static_cast<std::ptrdiff_t>(lines.size());
    void* none = nullptr;
    EXPECT_EQ(ctrl->QueryInterface(IID_ICorelinkCtrl2, &none), E_NOINTERFACE);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + beforeRefusal, lines.end()),
              (std::vector<std::string>{"QueryInterface", "E_NOINTERFACE"}));
}

TEST(CorelinkTraces, CFormReachesTheSlotsOfTheLibrarysObjects) {
    Ref<ICorelinkCtrl> ctrl;
    Ref<ICorelinkCtrl2> ctrl2;
    ASSERT_EQ(Create(IID_ICorelinkCtrl, ctrl), S_OK);
    ASSERT_EQ(Create(IID_ICorelinkCtrl2, ctrl2), S_OK);

    TraceCapture capture;
    BYTE probe = 0x55;
    EXPECT_EQ(CClientLinkTest(ctrl.get(), &probe), 1);
    EXPECT_EQ(probe, 0xAA);
    std::vector<BYTE> list(kDeviceListBytes, kFill);
    EXPECT_EQ(CClientScanUSBPort(ctrl.get(), list.data()), 0);
    EXPECT_EQ(CClientForceInUSB30(ctrl.get()), ctrl.get());
    BYTE data[4] = {kFill, kFill, kFill, kFill};
    EXPECT_EQ(CClientReadCode(ctrl2.get(), data), 0);
    EXPECT_EQ(CClientReadTestCmd(ctrl2.get(), 1, data), 0);
    EXPECT_EQ(CClientReadTestCmd(ctrl2.get(), 0, data), 0);
    EXPECT_EQ(CClientReadTestCmd(ctrl2.get(), 2, data), 0);
    // The port walk begins with the storage scan; this machine has no USB hubs to walk.
    EXPECT_EQ(capture.Lines(),
              (std::vector<std::string>{"LinkTest()", "ScanUSBPort()", "ScanDiskPathBySymbolicName()", "ForceInUSB30()",
                                        "ReadCode()", "ReadTestCmd()", " TestCommandRead()", "WriteTestCmd()",
                                        " TestCommandWrite()", "WriteTestCmd()", " TestCommandWrite()"}));

    ctrl2->AddRef();
    EXPECT_EQ(CClientRelease2(ctrl2.get()), 1u);
}

// ---------------------------------------------------------------- registry clean-up

// Scratch device keys in the test prefix's own registry, on the platform's registry calls.
class CorelinkRegistry : public ::testing::Test {
protected:
    static constexpr const char* kUsb = "SYSTEM\\CurrentControlSet\\Enum\\USB";
    static constexpr const char* kUsbStor = "SYSTEM\\CurrentControlSet\\Enum\\USBSTOR";

    static void MakeKey(const std::string& key) {
        HKEY raw = nullptr;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &raw,
                                    nullptr),
                  ERROR_SUCCESS)
            << key;
        const win32::UniqueKey owned(raw);
        const char text[] = "scratch";
        ::RegSetValueExA(owned.get(), "Driver", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
    }
    static bool KeyExists(const std::string& key) {
        HKEY raw = nullptr;
        const bool exists = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &raw) == ERROR_SUCCESS;
        const win32::UniqueKey owned(raw);
        return exists;
    }
    static void Remove(const std::string& key) { ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str()); }

    void SetUp() override { ASSERT_EQ(Create(IID_ICorelinkCtrl, ctrl), S_OK); }
    Ref<ICorelinkCtrl> ctrl;
};

TEST_F(CorelinkRegistry, ADeviceKeyGoesWithItsSubtreeAndNothingElse) {
    const std::string device = std::string(kUsb) + "\\Vid_0f0f&Pid_0e0e";
    const std::string longerName = std::string(kUsb) + "\\Vid_0f0f&Pid_0e0e0";
    MakeKey(device + "\\SCRATCH1\\Device Parameters");
    MakeKey(device + "\\SCRATCH2");
    MakeKey(longerName + "\\SCRATCH1");
    EXPECT_EQ(ctrl->DeleteDevRegistryRecord(0x0F0F, 0x0E0E), 1);
    EXPECT_FALSE(KeyExists(device));
    EXPECT_TRUE(KeyExists(longerName)) << "a key whose name only starts the same stays";
    EXPECT_TRUE(KeyExists(kUsb));
    EXPECT_EQ(ctrl->DeleteDevRegistryRecord(0x0F0F, 0x0E0E), 1) << "a key that is gone is gone";
    Remove(longerName);
}

TEST_F(CorelinkRegistry, DeviceTextsWithABackslashAreRefused) {
    const std::string device = std::string(kUsb) + "\\Vid_0f0f&Pid_0e0f";
    // What the unchecked path would name with these texts: another device's key.
    const std::string other = std::string(kUsbStor) + "\\Disk&Ven_SCR&Prod_X&Rev_1\\inner&Prod_p&Rev_r";
    MakeKey(device + "\\SCRATCH1");
    MakeKey(other + "\\SCRATCH1&0");
    EXPECT_EQ(ctrl->DeleteDevRegistryRecordEx(0x0F0F, 0x0E0F, L"SCR&Prod_X&Rev_1\\inner", L"p", L"r"), 0);
    EXPECT_TRUE(KeyExists(other));
    EXPECT_TRUE(KeyExists(device)) << "nothing is deleted for a refused text";
    EXPECT_EQ(ctrl->DeleteDevRegistryRecordEx(0x0F0F, 0x0E0F, L"SCR", L"X", nullptr), 0);

    // The device's own storage key goes with its USB key.
    const std::string storage = std::string(kUsbStor) + "\\Disk&Ven_SCR&Prod_Y&Rev_2";
    MakeKey(storage + "\\SCRATCH1&0");
    EXPECT_EQ(ctrl->DeleteDevRegistryRecordEx(0x0F0F, 0x0E0F, L"SCR", L"Y", L"2"), 1);
    EXPECT_FALSE(KeyExists(storage));
    EXPECT_FALSE(KeyExists(device));
    EXPECT_TRUE(KeyExists(other));
    Remove(std::string(kUsbStor) + "\\Disk&Ven_SCR&Prod_X&Rev_1");
}

TEST_F(CorelinkRegistry, IgnoredSerialNumberNeedsTheFlagsKey) {
    const std::string flags = "SYSTEM\\CurrentControlSet\\Control\\usbflags";
    const bool hadFlags = KeyExists(flags);
    if (!hadFlags) {
        EXPECT_EQ(ctrl->SetIgnoredRegistry(0x1234, 0x0ABC), 0) << "a value that could not be written is not a success";
        MakeKey(flags);
    }
    EXPECT_EQ(ctrl->SetIgnoredRegistry(0x1234, 0x0ABC), 1);
    BYTE value[4] = {};
    DWORD type = 0;
    DWORD size = sizeof value;
    EXPECT_EQ(::RegGetValueA(HKEY_LOCAL_MACHINE, flags.c_str(), "IgnoreHWSerNum12340abc", RRF_RT_ANY, &type, value,
                             &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    ASSERT_EQ(size, 1u);
    EXPECT_EQ(value[0], 1);
    if (!hadFlags) Remove(flags);
}

// ---------------------------------------------------------------- registration

std::string DefaultValue(HKEY key, DWORD& type) {
    char text[1024] = {};
    DWORD size = sizeof text - 1;
    type = REG_NONE;
    if (::RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS) {
        return "<missing>";
    }
    return text;
}

struct KeyCounts {
    DWORD subkeys = 0;
    DWORD values = 0;
};

KeyCounts CountsOf(HKEY key) {
    KeyCounts counts;
    ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &counts.subkeys, nullptr, nullptr, &counts.values, nullptr,
                       nullptr, nullptr, nullptr);
    return counts;
}

win32::UniqueKey OpenKey(const std::string& path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
    return win32::UniqueKey(key);
}

void CreateKeyWithDefault(const std::string& path, const char* value) {
    HKEY raw = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &raw, nullptr),
              ERROR_SUCCESS)
        << path;
    const win32::UniqueKey key(raw);
    ASSERT_EQ(::RegSetValueExA(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                               static_cast<DWORD>(std::strlen(value) + 1)),
              ERROR_SUCCESS);
}

// Every test leaves the component registered as the others need it.
class CorelinkRegistration : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(Component().unregisterServer(), S_OK); }
    void TearDown() override { EXPECT_EQ(Component().registerServer(), S_OK); }

    static std::string ServerKey() { return std::string(kClassKey) + "\\InprocServer32"; }
};

TEST_F(CorelinkRegistration, WritesTheNameAndTheLibraryPathOnly) {
    ASSERT_FALSE(OpenKey(kClassKey));
    ASSERT_EQ(Component().registerServer(), S_OK);

    const win32::UniqueKey classKey = OpenKey(kClassKey);
    ASSERT_TRUE(classKey);
    DWORD type = REG_NONE;
    EXPECT_EQ(DefaultValue(classKey.get(), type), kComponentName);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(CountsOf(classKey.get()).values, 1u);
    EXPECT_EQ(CountsOf(classKey.get()).subkeys, 1u);

    const win32::UniqueKey serverKey = OpenKey(ServerKey());
    ASSERT_TRUE(serverKey);
    EXPECT_EQ(DefaultValue(serverKey.get(), type), Component().Path());
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(CountsOf(serverKey.get()).values, 1u) << "only the default value: no ThreadingModel";
    EXPECT_EQ(CountsOf(serverKey.get()).subkeys, 0u);

    // With the key in place COM finds the library.
    Ref<ICorelinkCtrl> ctrl;
    EXPECT_EQ(Create(IID_ICorelinkCtrl, ctrl), S_OK);
}

TEST_F(CorelinkRegistration, OverwritesBothDefaultValuesOfAnExistingKey) {
    CreateKeyWithDefault(kClassKey, "An older component");
    CreateKeyWithDefault(ServerKey(), "C:\\Elsewhere\\Older.ax");

    EXPECT_EQ(Component().registerServer(), S_OK);
    DWORD type = REG_NONE;
    EXPECT_EQ(DefaultValue(OpenKey(kClassKey).get(), type), kComponentName);
    EXPECT_EQ(DefaultValue(OpenKey(ServerKey()).get(), type), Component().Path());
}

TEST_F(CorelinkRegistration, UnregistrationRemovesTheWholeTree) {
    ASSERT_EQ(Component().registerServer(), S_OK);
    CreateKeyWithDefault(ServerKey() + "\\Nested\\Deeper", "x");
    CreateKeyWithDefault(ServerKey() + "\\Nested\\Sibling", "y");
    CreateKeyWithDefault(std::string(kClassKey) + "\\Other", "z");

    EXPECT_EQ(Component().unregisterServer(), S_OK);
    EXPECT_FALSE(OpenKey(kClassKey));
    EXPECT_TRUE(OpenKey("CLSID")) << "only the component's own key goes";
    EXPECT_EQ(Component().unregisterServer(), S_OK) << "nothing left to remove is no failure";
}

}  // namespace
