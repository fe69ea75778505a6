// The COM side of the WMI seam: VARIANT kinds as WMI hands them over, and the
// real WMI service of the machine (Wine's under test).
#include <windows.h>

#include <gtest/gtest.h>
#include <oleauto.h>
// windows.h maps these to its own functions; the program's are meant.
#undef GetComputerName
#undef GetUserName

#include <wbemidl.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "app/run.h"
#include "inventory/modGetInfos.h"
#include "platform/platform.h"
#include "platform/wide.h"
#include "test_support.h"
#include "wmi/modWMI.h"
#include "wmi/windows/com_wmi.h"
#include "wmi/windows/variant.h"

namespace harvix {
namespace {

using comwmi::ComPtr;
using comwmi::FromVariant;

TEST(Variant, EachKindWmiDeliversBecomesItsValue) {
    VARIANT v;
    VariantInit(&v);
    EXPECT_TRUE(FromVariant(v).IsNull());  // VT_EMPTY
    V_VT(&v) = VT_NULL;
    EXPECT_TRUE(FromVariant(v).IsNull());

    V_VT(&v) = VT_I4;
    V_I4(&v) = -1;  // a uint32 of 4294967295 arrives so
    EXPECT_EQ(FromVariant(v), WmiValue(-1));
    V_VT(&v) = VT_UI1;
    V_UI1(&v) = 200;
    EXPECT_EQ(FromVariant(v), WmiValue(200));
    V_VT(&v) = VT_I2;
    V_I2(&v) = -7;
    EXPECT_EQ(FromVariant(v), WmiValue(-7));
    V_VT(&v) = VT_BOOL;
    V_BOOL(&v) = VARIANT_TRUE;
    EXPECT_EQ(FromVariant(v), WmiValue(-1));

    // 64-bit counts and references travel as BSTR; never read through lVal.
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(L"18446744073709551615");
    EXPECT_EQ(FromVariant(v), WmiValue("18446744073709551615"));
    VariantClear(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(L"Syst\u00e8me \u0414\u0438\u0441\u043a");
    EXPECT_EQ(FromVariant(v), WmiValue("Système Диск"));
    VariantClear(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = nullptr;  // an empty BSTR may be a null pointer
    EXPECT_EQ(FromVariant(v), WmiValue(""));

    V_VT(&v) = VT_R8;
    V_R8(&v) = 2.0;
    EXPECT_TRUE(FromVariant(v).IsText());
}

TEST(Variant, UnsignedThirtyTwoBitCountsStayPositive) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    // MaxCapacity of a 4 TiB server: 4294967295 KB, which the VARIANT carries as -1.
    V_I4(&v) = -1;
    EXPECT_EQ(FromVariant(v, CIM_UINT32), WmiValue("4294967295"));
    EXPECT_EQ(ToNumber(FromVariant(v, CIM_UINT32)), 4294967295.0);
    V_I4(&v) = INT32_MIN;
    EXPECT_EQ(FromVariant(v, CIM_UINT32), WmiValue("2147483648"));
    // Below 2^31 nothing changes, and signed properties keep their sign.
    V_I4(&v) = INT32_MAX;
    EXPECT_EQ(FromVariant(v, CIM_UINT32), WmiValue(INT32_MAX));
    V_I4(&v) = -5;
    EXPECT_EQ(FromVariant(v, CIM_SINT32), WmiValue(-5));
    V_VT(&v) = VT_UI4;
    V_UI4(&v) = 0xFFFFFFFFu;
    EXPECT_EQ(FromVariant(v), WmiValue("4294967295"));
}

TEST(Variant, ArraysBecomeTheirElementsJoinedByCommas) {
    // ChassisTypes: uint16[] carried as VT_ARRAY | VT_I4.
    VARIANT v;
    VariantInit(&v);
    SAFEARRAY* numbers = SafeArrayCreateVector(VT_I4, 0, 2);
    for (LONG i = 0; i < 2; ++i) {
        // Wine copies each uint16 with the two bytes after it: only the low half counts.
        LONG value = i == 0 ? 0x010A0003 : 10;
        SafeArrayPutElement(numbers, &i, &value);
    }
    V_VT(&v) = VT_ARRAY | VT_I4;
    V_ARRAY(&v) = numbers;
    EXPECT_EQ(FromVariant(v, CIM_UINT16 | CIM_FLAG_ARRAY), WmiValue("3,10"));
    VariantClear(&v);

    // A uint32 array keeps each element unsigned; strings keep their text.
    SAFEARRAY* big = SafeArrayCreateVector(VT_I4, 1, 1);
    LONG first = 1, minusOne = -1;
    SafeArrayPutElement(big, &first, &minusOne);
    V_VT(&v) = VT_ARRAY | VT_I4;
    V_ARRAY(&v) = big;
    EXPECT_EQ(FromVariant(v, CIM_UINT32 | CIM_FLAG_ARRAY), WmiValue("4294967295"));
    VariantClear(&v);
    SAFEARRAY* texts = SafeArrayCreateVector(VT_BSTR, 0, 3);
    const wchar_t* words[] = {L"fr-FR", L"", L"\u00e9t\u00e9"};
    for (LONG i = 0; i < 3; ++i) {
        BSTR word = SysAllocString(words[i]);
        SafeArrayPutElement(texts, &i, word);  // copies it
        SysFreeString(word);
    }
    V_VT(&v) = VT_ARRAY | VT_BSTR;
    V_ARRAY(&v) = texts;
    EXPECT_EQ(FromVariant(v, CIM_STRING | CIM_FLAG_ARRAY), WmiValue("fr-FR,,été"));
    VariantClear(&v);
    V_VT(&v) = VT_ARRAY | VT_BSTR;
    V_ARRAY(&v) = SafeArrayCreateVector(VT_BSTR, 0, 0);
    EXPECT_EQ(FromVariant(v), WmiValue(""));
    VariantClear(&v);
}

// An enumerator as a stuck provider leaves it: the objects it has, then every
// Next runs out its time limit. It records the limits it is given.
class StuckEnumerator : public IEnumWbemClassObject {
  public:
    explicit StuckEnumerator(std::vector<ComPtr<IWbemClassObject>> objects)
        : objects_(std::move(objects)) {}
    std::vector<long> timeouts;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IUnknown || riid == IID_IEnumWbemClassObject) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }  // lives on the stack
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Next(long timeout, ULONG count, IWbemClassObject** objects,
                                   ULONG* returned) override {
        timeouts.push_back(timeout);
        *returned = 0;
        if (count != 1) return WBEM_E_INVALID_PARAMETER;
        if (next_ < objects_.size()) {
            objects_[next_++].CopyTo(objects);
            *returned = 1;
            return WBEM_S_NO_ERROR;
        }
        // Never answers: with no limit this would be a hang, so the test fails instead.
        if (timeout == static_cast<long>(WBEM_INFINITE)) return WBEM_E_FAILED;
        return WBEM_S_TIMEDOUT;
    }
    HRESULT STDMETHODCALLTYPE NextAsync(ULONG, IWbemObjectSink*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumWbemClassObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Skip(long, ULONG) override { return E_NOTIMPL; }
    ULONG refs() const { return refs_; }

  private:
    std::vector<ComPtr<IWbemClassObject>> objects_;
    std::size_t next_ = 0;
    ULONG refs_ = 1;
};

class StuckService : public WmiServiceBase {
  public:
    explicit StuckService(StuckEnumerator* e) : e_(e) {}
    std::unique_ptr<WmiResultSet> ExecQuery(const std::string&, int) override {
        return comwmi::WalkOf(ComPtr<IEnumWbemClassObject>(e_));
    }

  private:
    StuckEnumerator* e_;
};

// The first object of a query, straight from Wine's WMI.
ComPtr<IWbemClassObject> FirstRealObject(const wchar_t* wql) {
    ComPtr<IWbemLocator> locator;
    ComPtr<IWbemServices> services;
    ComPtr<IEnumWbemClassObject> results;
    ComPtr<IWbemClassObject> object;
    ULONG got = 0;
    if (SUCCEEDED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IWbemLocator,
                                   reinterpret_cast<void**>(locator.GetAddressOf()))) &&
        SUCCEEDED(locator->ConnectServer(comwmi::Bstr(L"root\\cimv2"), nullptr, nullptr, nullptr, 0,
                                         nullptr, nullptr, services.GetAddressOf())) &&
        SUCCEEDED(services->ExecQuery(comwmi::Bstr(L"WQL"), comwmi::Bstr(wql), 48, nullptr,
                                      results.GetAddressOf())))
        results->Next(static_cast<long>(WBEM_INFINITE), 1, object.GetAddressOf(), &got);
    return object;
}

TEST(ComWmi, AWalkThatStopsAnsweringEndsWithWhatItHas) {
    // Real objects from Wine's WMI, handed out by an enumerator that then hangs.
    WmiServicePtr real = ConnectWMI("localhost");  // COM set up as the program does
    std::vector<ComPtr<IWbemClassObject>> objects{
        FirstRealObject(L"Select * from Win32_OperatingSystem")};
    ASSERT_TRUE(objects[0]);
    objects.push_back(objects[0]);

    StuckEnumerator stuck(objects);
    WmiServicePtr saved = WmiService;
    WmiService = std::make_shared<StuckService>(&stuck);
    std::vector<std::string> captions;
    ForEachObject("Select * from Win32_OperatingSystem",
                  [&](const CurrentObject& obj) { captions.push_back(ToText(obj["Caption"])); });
    WmiService = saved;

    // Both objects read, then one advance that timed out ended the loop.
    ASSERT_EQ(captions.size(), 2u);
    EXPECT_FALSE(captions[0].empty());
    ASSERT_EQ(stuck.timeouts.size(), 3u);
    for (long t : stuck.timeouts) EXPECT_EQ(t, comwmi::kWalkTimeoutMs);
    // Generous, but never for ever.
    EXPECT_GE(comwmi::kWalkTimeoutMs, 10000);
    EXPECT_LE(comwmi::kWalkTimeoutMs, 60000);
    // The walk let go of the enumerator and of every object it was given.
    EXPECT_EQ(stuck.refs(), 1u);

    // The timed-out advance is a failure with a description, not the end of the list.
    StuckEnumerator empty({});
    auto walk = comwmi::WalkOf(ComPtr<IEnumWbemClassObject>(&empty), 1234);
    EXPECT_THROW(walk->Next(), HarvixError);
    EXPECT_EQ(empty.timeouts, std::vector<long>{1234});
}

// Wine's WMI, except for one class whose provider stops answering after its first object.
class OneStuckClass : public WmiServiceBase {
  public:
    OneStuckClass(WmiServicePtr real, std::string cls, StuckEnumerator* stuck)
        : real_(std::move(real)), cls_(std::move(cls)), stuck_(stuck) {}
    std::unique_ptr<WmiResultSet> ExecQuery(const std::string& wql, int flags) override {
        if (wql.size() >= cls_.size() &&
            wql.compare(wql.size() - cls_.size(), cls_.size(), cls_) == 0)
            return comwmi::WalkOf(ComPtr<IEnumWbemClassObject>(stuck_));
        return real_->ExecQuery(wql, flags);
    }

  private:
    WmiServicePtr real_;
    std::string cls_;
    StuckEnumerator* stuck_;
};

TEST(ComWmi, ARunWithAStuckProviderStillWritesAWholeReport) {
    WmiServicePtr real = ConnectWMI("localhost");
    ComPtr<IWbemClassObject> c = FirstRealObject(L"Select * from Win32_LogicalDisk");
    ASSERT_TRUE(c);
    StuckEnumerator stuck({c});
    WmiServicePtr saved = WmiService;
    WmiService = std::make_shared<OneStuckClass>(real, "Win32_LogicalDisk", &stuck);
    const std::string dir = testing::MakeTempDir("harvix-stuck-");
    testing::SetEnv("COMPUTERNAME", "PC");
    std::string status;
    EXPECT_NO_THROW(status = RunInventory(dir, "\\"));
    WmiService = saved;

    std::ifstream in(dir + "\\PC_report.html", std::ios::binary);
    const std::string report(std::istreambuf_iterator<char>(in), {});
    in.close();
    EXPECT_NE(status.find("PC_report.html"), std::string::npos);
    EXPECT_TRUE(report.ends_with("</script></body></html>\r\n"));
    // The volume read before the provider stopped is listed; nothing waited for ever.
    EXPECT_NE(report.find("<progress"), std::string::npos);
    EXPECT_EQ(stuck.timeouts.back(), comwmi::kWalkTimeoutMs);
    std::filesystem::remove_all(dir);
}

TEST(WindowsPaths, LongPathsGetTheFormCreateFileTakesAtAnyLength) {
    using platform::LongPathForm;
    EXPECT_EQ(LongPathForm(L"C:\\Outils\\PC_report.html"), L"C:\\Outils\\PC_report.html");
    EXPECT_EQ(LongPathForm(L"C:\\\\PC_report.html"), L"C:\\\\PC_report.html");  // a root, as built
    const std::wstring deep(300, L'd');
    EXPECT_EQ(LongPathForm(L"D:\\" + deep), L"\\\\?\\D:\\" + deep);
    EXPECT_EQ(LongPathForm(L"\\\\serveur\\partage\\" + deep),
              L"\\\\?\\UNC\\serveur\\partage\\" + deep);
    EXPECT_EQ(LongPathForm(L"\\\\?\\D:\\" + deep), L"\\\\?\\D:\\" + deep);
    // And back to the form the status line shows.
    using platform::UsualPathForm;
    EXPECT_EQ(UsualPathForm(LongPathForm(L"\\\\serveur\\partage\\" + deep)),
              L"\\\\serveur\\partage\\" + deep);
    EXPECT_EQ(UsualPathForm(LongPathForm(L"D:\\" + deep)), L"D:\\" + deep);
    EXPECT_EQ(UsualPathForm(L"UNC\\serveur\\partage\\Harvix.exe"),
              L"\\\\serveur\\partage\\Harvix.exe");
    EXPECT_EQ(UsualPathForm(L"C:\\Outils\\Harvix.exe"), L"C:\\Outils\\Harvix.exe");

    // The Windows folder's explorer, never one found beside the program.
    testing::UnsetEnv("HARVIX_TEST_EXPLORER");
    const std::wstring explorer = platform::ExplorerApplication();
    wchar_t windows[MAX_PATH];
    GetSystemWindowsDirectoryW(windows, MAX_PATH);
    EXPECT_EQ(explorer, std::wstring(windows) + L"\\explorer.exe");
    EXPECT_NE(GetFileAttributesW(explorer.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(WindowsPaths, AHiddenOrSystemReportFromAnEarlierRunIsRewritten) {
    // CREATE_ALWAYS or TRUNCATE_EXISTING with FILE_ATTRIBUTE_NORMAL are refused on
    // such a file by Windows (not by Wine): the header opens it and empties it.
    const platform::ReportOpenMode header = platform::ReportOpenModeFor(false);
    EXPECT_EQ(header.disposition, static_cast<unsigned long>(OPEN_ALWAYS));
    EXPECT_TRUE(header.truncate);
    EXPECT_EQ(header.access & GENERIC_WRITE, static_cast<unsigned long>(GENERIC_WRITE));
    const platform::ReportOpenMode append = platform::ReportOpenModeFor(true);
    EXPECT_EQ(append.disposition, static_cast<unsigned long>(OPEN_ALWAYS));
    EXPECT_FALSE(append.truncate);

    const std::string dir = testing::MakeTempDir("harvix-hidden-");
    const std::string path = dir + "\\PC_report.html";
    { std::ofstream(path, std::ios::binary) << "a much longer report of an earlier run\r\n"; }
    const std::wstring wpath = platform::Wide(path);
    ASSERT_TRUE(SetFileAttributesW(wpath.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    std::FILE* f = platform::OpenReportFile(path, false);
    std::fputs("new\r\n", f);
    std::fclose(f);
    f = platform::OpenReportFile(path, true);
    std::fputs("more\r\n", f);
    std::fclose(f);
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "new\r\nmore\r\n");
    in.close();
    EXPECT_TRUE(GetFileAttributesW(wpath.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW(wpath.c_str(), FILE_ATTRIBUTE_NORMAL);
    std::filesystem::remove_all(dir);
}

TEST(ComWmi, RealServiceAnswersAndFailsWhereWmiFails) {
    WmiServicePtr service = ConnectWMI("localhost");
    auto os = RunQuery("Select * from Win32_OperatingSystem", service, 48);
    const WmiObject* obj = os->Next();
    ASSERT_NE(obj, nullptr);
    EXPECT_FALSE(ToText(obj->Get("Caption")).empty());
    EXPECT_THROW(obj->Get("NoSuchProperty"), HarvixError);
    EXPECT_EQ(os->Next(), nullptr);

    auto disks = RunQuery("Select * from Win32_DiskDrive", service, 48);
    const WmiObject* disk = disks->Next();
    ASSERT_NE(disk, nullptr);
    EXPECT_TRUE(disk->Get("Size").IsText());  // uint64 as text

    // A query WMI cannot parse fails when it starts or when the walk does.
    EXPECT_ANY_THROW({
        auto bad = RunQuery("Select from where", service, 48);
        bad->Next();
    });

    // The collectors on the real service: whatever WMI lacks, they return.
    WmiService = service;
    CpuInfos cpu = GetCpuInfos();
    EXPECT_FALSE(cpu.Name.empty());
    EXPECT_GE(GetDiskInfos().Count, 1);
}

}  // namespace
}  // namespace harvix
