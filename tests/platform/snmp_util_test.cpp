#include "platform/snmp.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

AsnObjectIdentifier oidOf(std::vector<UINT>& ids)
{
    return { static_cast<UINT>(ids.size()), ids.data() };
}

TEST(SnmpUtil, OidCpyMakesAnIndependentCopyFromTheSharedAllocator)
{
    std::vector<UINT> ids { 1, 3, 6, 1, 2, 1, 6, 13, 1, 1 };
    const AsnObjectIdentifier source = oidOf(ids);
    AsnObjectIdentifier copy { 99, nullptr };
    ASSERT_NE(SnmpUtilOidCpy(&copy, &source), 0);
    ASSERT_EQ(copy.idLength, ids.size());
    // Packed fields are compared by value: gtest would bind a reference to a misaligned pointer.
    ASSERT_TRUE(copy.ids != ids.data());
    EXPECT_EQ(std::memcmp(copy.ids, ids.data(), ids.size() * sizeof(UINT)), 0);
    ids[9] = 2;
    EXPECT_EQ(copy.ids[9], 1u);
    SnmpUtilOidFree(&copy);
    EXPECT_EQ(copy.idLength, 0u);
    EXPECT_TRUE(copy.ids == nullptr);
    SnmpUtilOidFree(&copy); // a second free of a freed identifier is harmless
}

TEST(SnmpUtil, OidCpyOfEmptyAndBrokenIdentifiers)
{
    AsnObjectIdentifier copy { 5, reinterpret_cast<UINT*>(0x1) };
    const AsnObjectIdentifier empty { 0, nullptr };
    EXPECT_NE(SnmpUtilOidCpy(&copy, &empty), 0);
    EXPECT_EQ(copy.idLength, 0u);
    EXPECT_TRUE(copy.ids == nullptr);

    const AsnObjectIdentifier broken { 3, nullptr };
    EXPECT_EQ(SnmpUtilOidCpy(&copy, &broken), 0);
    EXPECT_EQ(copy.idLength, 0u);
    EXPECT_EQ(SnmpUtilOidCpy(&copy, nullptr), 0);
    EXPECT_EQ(SnmpUtilOidCpy(nullptr, &empty), 0);
}

TEST(SnmpUtil, MemAllocIsZeroFilledAndNeverNullForZeroBytes)
{
    auto* bytes = static_cast<unsigned char*>(SnmpUtilMemAlloc(64));
    ASSERT_NE(bytes, nullptr);
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(bytes[i], 0) << i;
    SnmpUtilMemFree(bytes);
    void* none = SnmpUtilMemAlloc(0);
    EXPECT_NE(none, nullptr);
    SnmpUtilMemFree(none);
    SnmpUtilMemFree(nullptr);
}

TEST(SnmpUtil, VarBindFreeReleasesOnlyWhatTheBindingOwns)
{
    std::vector<UINT> ids { 1, 3, 6 };
    const AsnObjectIdentifier source = oidOf(ids);

    // A dynamic address and an identifier value are freed (the sanitizer build reports a leak otherwise).
    SnmpVarBind binding {};
    ASSERT_NE(SnmpUtilOidCpy(&binding.name, &source), 0);
    binding.value.asnType = ASN_IPADDRESS;
    binding.value.asnValue.address = { static_cast<BYTE*>(SnmpUtilMemAlloc(4)), 4, TRUE };
    SnmpUtilVarBindFree(&binding);
    EXPECT_TRUE(binding.name.ids == nullptr);
    EXPECT_EQ(binding.value.asnType, ASN_NULL);

    ASSERT_NE(SnmpUtilOidCpy(&binding.name, &source), 0);
    binding.value.asnType = ASN_OBJECTIDENTIFIER;
    ASSERT_NE(SnmpUtilOidCpy(&binding.value.asnValue.object, &source), 0);
    SnmpVarBind* bindings[] = { &binding };
    SnmpUtilVarBindFree(bindings[0]);
    EXPECT_EQ(binding.value.asnType, ASN_NULL);

    // A string that is not dynamic belongs to someone else: freeing it would abort here.
    BYTE text[] = "static";
    binding.value.asnType = ASN_OCTETSTRING;
    binding.value.asnValue.string = { text, 6, FALSE };
    SnmpUtilAsnAnyFree(&binding.value);
    EXPECT_EQ(binding.value.asnType, ASN_NULL);
    // Integers carry nothing to free.
    binding.value.asnType = ASN_INTEGER;
    binding.value.asnValue.number = 0x12345678;
    SnmpUtilVarBindFree(&binding);
    EXPECT_EQ(binding.value.asnType, ASN_NULL);
}

TEST(SnmpUtil, OidCmpOrdersAsAWalk)
{
    struct Case
    {
        std::vector<UINT> first;
        std::vector<UINT> second;
        int sign;
    };
    std::vector<Case> cases = {
        { { 1, 3, 6 }, { 1, 3, 6 }, 0 },
        { { 1, 3 }, { 1, 3, 6 }, -1 },
        { { 1, 3, 7 }, { 1, 3, 6, 1 }, 1 },
        { { 1, 3, 6, 1, 2, 1, 6, 14, 0 }, { 1, 3, 6, 1, 2, 1, 6, 13, 1, 5, 255 }, 1 },
        { { 1, 3, 6, 1, 2, 1, 6, 13, 1, 1, 9 }, { 1, 3, 6, 1, 2, 1, 6, 13, 1, 1, 10 }, -1 },
        { { 0xFFFFFFFFu }, { 1 }, 1 }, // unsigned comparison
        { {}, { 0 }, -1 },
    };
    for (auto& c : cases) {
        const AsnObjectIdentifier a = oidOf(c.first);
        const AsnObjectIdentifier b = oidOf(c.second);
        const int result = SnmpUtilOidCmp(&a, &b);
        EXPECT_EQ((result > 0) - (result < 0), c.sign)
            << ::testing::PrintToString(c.first) << " vs " << ::testing::PrintToString(c.second);
        const int reverse = SnmpUtilOidCmp(&b, &a);
        EXPECT_EQ((reverse > 0) - (reverse < 0), -c.sign);
    }
}

} // namespace
