#include "descriptor/DescriptorCheck.h"

#include "DescriptorBytes.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace descriptortest;

TEST(DescriptorCheck, RefusesWhatCannotBeDownloadedAndSaysWhy)
{
    struct Case {
        const char *name;
        Header header;
        qint64 listEntries;  // CRC entries after the header; -1: as many as the size needs
        qint64 length;       // the descriptor's length; -1: header plus the entries
        DescriptorFault fault;
        const char *says;    // part of the reason
    };
    const Header good{.fileSize = 10000, .servers = {"http://127.0.0.1/f.bin"}};
    const auto with = [&](auto change) { Header h = good; change(h); return h; };
    const Case cases[] = {
        {"good", good, -1, -1, DescriptorFault::None, ""},
        {"one byte short of a header", good, 0, 3081, DescriptorFault::Truncated, "3081 bytes"},
        {"version below 1.04", with([](Header &h) { h.version = std::nextafter(1.04f, 0.0f); }), -1, -1, DescriptorFault::OldVersion, "1.0399998, older"},
        {"version not a number", with([](Header &h) { h.version = NAN; }), -1, -1, DescriptorFault::DamagedVersion, "damaged"},
        {"version negative", with([](Header &h) { h.version = -1.2f; }), -1, -1, DescriptorFault::DamagedVersion, "damaged"},
        {"version tiny", with([](Header &h) { h.version = 1e-20f; }), -1, -1, DescriptorFault::DamagedVersion, "damaged"},
        {"size -1", with([](Header &h) { h.fileSize = -1; }), 0, -1, DescriptorFault::SizeBelowOne, "-1 bytes"},
        {"no servers", with([](Header &h) { h.servers = {}; }), -1, -1, DescriptorFault::NoServers, "no server"},
        {"escaped in the reason", with([](Header &h) { h.servers = {"\x1b[2Jgopher://h"}; }), -1, -1, DescriptorFault::ServerNotHttp, "\\x1b[2J"},
        {"list one entry short", good, 2, -1, DescriptorFault::CrcListShort, "need 3 entries, but the descriptor holds 2"},
    };
    for (const Case &c : cases) {
        const qint64 entries = c.listEntries >= 0 ? c.listEntries : blockCount(c.header.fileSize);
        const qint64 length = c.length >= 0 ? c.length : DescriptorHeader::HeaderSize + 4 * entries;
        const DescriptorHeader header = DescriptorHeader::fromBytes(headerBytes(c.header));
        const DescriptorCheck check = checkDescriptor(header, length);
        EXPECT_EQ(check.fault, c.fault) << c.name << ": " << check.reason.toStdString();
        EXPECT_EQ(check.reason.isEmpty(), c.fault == DescriptorFault::None) << c.name;
        EXPECT_TRUE(check.reason.contains(QString::fromUtf8(c.says))) << c.name << ": " << check.reason.toStdString();
    }
}
