// The COM side of the WMI seam: VARIANT kinds as WMI hands them over, and the
// real WMI service of the machine (Wine's under test).
#include <windows.h>

#include <gtest/gtest.h>
#include <oleauto.h>
// windows.h maps these to its own functions; the program's are meant.
#undef GetComputerName
#undef GetUserName

#include "inventory/modGetInfos.h"
#include "wmi/modWMI.h"
#include "wmi/windows/variant.h"

namespace harvix {
namespace {

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
