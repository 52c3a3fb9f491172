#include "app/config/ProfileFile.h"

#include "tests/support/TempDirTest.h"

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

namespace fs = std::filesystem;

class ProfileFileTest : public test::TempDirTest {};

TEST_F(ProfileFileTest, MissingFileGivesDefaultsAndReadsCreateNothing) {
    const ProfileFile ini(m_ini);
    EXPECT_FALSE(ini.readText("串行口", "ComName"));
    EXPECT_EQ(ini.readString("串行口", "ComName", "Com1"), "Com1");
    EXPECT_EQ(ini.readInteger("串行口", "Baudrate", 9600), 9600);
    EXPECT_TRUE(ini.readBool("算法", "1", true));
    EXPECT_DOUBLE_EQ(ini.readFloat("下限值", "Value", 10.0), 10.0);
    EXPECT_FALSE(fs::exists(m_ini));
}

TEST_F(ProfileFileTest, MissingSectionOrKeyGivesDefaultButEmptyValueIsEmptyText) {
    writeBytes("[A]\r\nEmpty=\r\nBlank=   \r\n");
    const ProfileFile ini(m_ini);
    EXPECT_EQ(ini.readString("B", "Empty", "d"), "d");
    EXPECT_EQ(ini.readString("A", "Other", "d"), "d");
    EXPECT_EQ(ini.readString("A", "Empty", "d"), "");
    EXPECT_EQ(ini.readString("A", "Blank", "d"), "");
    EXPECT_EQ(ini.readInteger("A", "Empty", 7), 7);
    EXPECT_TRUE(ini.readBool("A", "Empty", true));
    EXPECT_DOUBLE_EQ(ini.readFloat("A", "Empty", 2.5), 2.5);
}

TEST_F(ProfileFileTest, NamesMatchWithoutRegardToAsciiCase) {
    writeBytes("[Serial]\r\nBaudRate=4800\r\n");
    ProfileFile ini(m_ini);
    EXPECT_EQ(ini.readInteger("SERIAL", "baudrate", 0), 4800);
    EXPECT_EQ(ini.readInteger("serial", "BAUDRATE", 0), 4800);
    ini.writeInteger("sErIaL", "BAUDRATE", 19200);
    EXPECT_EQ(readBytes(), "[Serial]\r\nBaudRate=19200\r\n");
}

TEST_F(ProfileFileTest, IntegerRules) {
    writeBytes("[N]\nhex=0x2580\nHEX=0X1f\nabc=abc\nneg=-12\npadded=  42  \nfrac=12.5\nfull=0xFFFFFFFF\n"
               "wide=0x100000000\nbare=0x\nsign=- 5\n");
    const ProfileFile ini(m_ini);
    EXPECT_EQ(ini.readInteger("N", "hex", 1), 0x2580);
    EXPECT_EQ(ini.readInteger("N", "abc", 9600), 9600);
    EXPECT_EQ(ini.readInteger("N", "neg", 1), -12);
    EXPECT_EQ(ini.readInteger("N", "padded", 1), 42);
    EXPECT_EQ(ini.readInteger("N", "frac", 1), 1);
    EXPECT_EQ(ini.readInteger("N", "full", 1), -1);
    EXPECT_EQ(ini.readInteger("N", "wide", 1), 1);
    EXPECT_EQ(ini.readInteger("N", "bare", 1), 1);
    EXPECT_EQ(ini.readInteger("N", "sign", 1), 1);
    // The first key of a name counts: "HEX" is the same key as "hex".
    EXPECT_EQ(ini.readInteger("N", "HEX", 1), 0x2580);
}

TEST_F(ProfileFileTest, YesNoAndDecimalRules) {
    writeBytes("[B]\nzero=0\ntwo=2\nx=x\nhex=0x0\n[F]\nf=12.5\ng=abc\nh= 1e3 \ni=1,5\n");
    const ProfileFile ini(m_ini);
    EXPECT_FALSE(ini.readBool("B", "zero", true));
    EXPECT_TRUE(ini.readBool("B", "two", false));
    EXPECT_TRUE(ini.readBool("B", "x", true));
    EXPECT_FALSE(ini.readBool("B", "x", false));
    EXPECT_FALSE(ini.readBool("B", "hex", true));
    EXPECT_DOUBLE_EQ(ini.readFloat("F", "f", 0), 12.5);
    EXPECT_DOUBLE_EQ(ini.readFloat("F", "g", 10.0), 10.0);
    EXPECT_DOUBLE_EQ(ini.readFloat("F", "h", 0), 1000.0);
    EXPECT_DOUBLE_EQ(ini.readFloat("F", "i", 10.0), 10.0);
}

TEST_F(ProfileFileTest, TextLosesBlanksAndEnclosingQuotesOnly) {
    writeBytes("[T]\na = spaced out \nb=\"quoted\"\nc='x\"\nd=a=b\n; e=comment\n");
    const ProfileFile ini(m_ini);
    EXPECT_EQ(ini.readString("T", "a", ""), "spaced out");
    EXPECT_EQ(ini.readString("T", "b", ""), "quoted");
    EXPECT_EQ(ini.readString("T", "c", ""), "'x\"");
    EXPECT_EQ(ini.readString("T", "d", ""), "a=b");
    EXPECT_EQ(ini.readString("T", "; e", "none"), "none");
}

TEST_F(ProfileFileTest, FirstWriteCreatesGbkFileWithCrlf) {
    ProfileFile ini(m_ini);
    ini.writeInteger("软件", "背景色", 16053492);
    EXPECT_EQ(readBytes(), "[\xC8\xED\xBC\xFE]\r\n\xB1\xB3\xBE\xB0\xC9\xAB=16053492\r\n");
    ini.writeBool("仪表", "1", false);
    EXPECT_EQ(readBytes(), "[\xC8\xED\xBC\xFE]\r\n\xB1\xB3\xBE\xB0\xC9\xAB=16053492\r\n[\xD2\xC7\xB1\xED]\r\n1=0\r\n");
    EXPECT_EQ(ini.readInteger("软件", "背景色", 0), 16053492);
    EXPECT_FALSE(ini.readBool("仪表", "1", true));
}

TEST_F(ProfileFileTest, WriteChangesOnlyItsLine) {
    const std::string before = "; station settings\r\n"
                               "\r\n"
                               "[Word]\r\n"
                               "Num=100\r\n"
                               "  SC_Num =  5   \r\n"
                               "Unknown=keep me\r\n"
                               "\r\n"
                               "[Other]\r\n"
                               "odd line without equals\r\n";
    writeBytes(before);
    ProfileFile ini(m_ini);
    ini.writeInteger("Word", "SC_Num", 77);
    std::string expected = before;
    expected.replace(expected.find("5   "), 4, "77");
    EXPECT_EQ(readBytes(), expected);
}

TEST_F(ProfileFileTest, NewKeyGoesAtTheEndOfItsSectionBeforeBlankLines) {
    writeBytes("[Word]\nNum=100\n\n[Other]\nx=1\n");
    ProfileFile ini(m_ini);
    ini.writeString("Word", "TX_Num", "90");
    EXPECT_EQ(readBytes(), "[Word]\nNum=100\nTX_Num=90\n\n[Other]\nx=1\n");
    ini.writeString("Other", "y", "2");
    EXPECT_EQ(readBytes(), "[Word]\nNum=100\nTX_Num=90\n\n[Other]\nx=1\ny=2\n");
}

TEST_F(ProfileFileTest, NewSectionIsAppendedAndAMissingLastLineEndIsAdded) {
    writeBytes("[A]\r\nx=1");
    ProfileFile ini(m_ini);
    ini.writeString("B", "y", "2");
    EXPECT_EQ(readBytes(), "[A]\r\nx=1\r\n[B]\r\ny=2\r\n");
}

TEST_F(ProfileFileTest, OnlyTheFirstOfDuplicateSectionsCounts) {
    writeBytes("[A]\nx=1\n[B]\n[a]\nx=2\ny=3\n");
    ProfileFile ini(m_ini);
    EXPECT_EQ(ini.readString("A", "x", ""), "1");
    EXPECT_EQ(ini.readString("A", "y", "none"), "none");
    ini.writeString("A", "y", "4");
    EXPECT_EQ(readBytes(), "[A]\nx=1\ny=4\n[B]\n[a]\nx=2\ny=3\n");
}

TEST_F(ProfileFileTest, GbkFileRoundTrip) {
    // 串行口 / 连接 in GBK, and a value in GBK.
    writeBytes("[\xB4\xAE\xD0\xD0\xBF\xDA]\r\nComName=COm5\r\n\xC1\xAC\xBD\xD3=\xCA\xFD\xBE\xDD\xBF\xE2\r\n");
    ProfileFile ini(m_ini);
    EXPECT_EQ(ini.readString("串行口", "ComName", ""), "COm5");
    EXPECT_EQ(ini.readString("串行口", "连接", ""), "数据库");
    ini.writeString("串行口", "连接", "仪表");
    EXPECT_EQ(readBytes(), "[\xB4\xAE\xD0\xD0\xBF\xDA]\r\nComName=COm5\r\n\xC1\xAC\xBD\xD3=\xD2\xC7\xB1\xED\r\n");
}

TEST_F(ProfileFileTest, GbkTrailBytesThatLookLikeBracketsDoNotSplitNames) {
    ProfileFile ini(m_ini);
    ini.writeString("癩", "k", "v");  // B0 5D: the second byte is "]"
    ini.writeString("癩", "癧", "w"); // B0 5B: the second byte is "["
    EXPECT_EQ(readBytes(), "[\xB0\x5D]\r\nk=v\r\n\xB0\x5B=w\r\n");
    EXPECT_EQ(ini.readString("癩", "k", ""), "v");
    EXPECT_EQ(ini.readString("癩", "癧", ""), "w");
}

TEST_F(ProfileFileTest, LinesThatDoNotDecodeAreKeptAndMatchNothing) {
    const std::string before = "[A]\r\nbad=\xFF\xFE\r\nx=1\r\n[\xFF]\r\nx=2\r\n";
    writeBytes(before);
    ProfileFile ini(m_ini);
    EXPECT_EQ(ini.readString("A", "bad", "d"), "d");
    EXPECT_EQ(ini.readString("A", "x", ""), "1");
    ini.writeString("A", "x", "3");
    EXPECT_EQ(readBytes(), "[A]\r\nbad=\xFF\xFE\r\nx=3\r\n[\xFF]\r\nx=2\r\n");
    // The key survives even though its old value did not decode.
    ini.writeString("A", "bad", "ok");
    EXPECT_EQ(ini.readString("A", "bad", ""), "ok");
    EXPECT_EQ(readBytes(), "[A]\r\nbad=ok\r\nx=3\r\n[\xFF]\r\nx=2\r\n");
}

TEST_F(ProfileFileTest, Utf8FileIsReadAndWrittenAsUtf8) {
    writeBytes("[串行口]\nComName=Com2\n");
    ProfileFile ini(m_ini);
    EXPECT_EQ(ini.readString("串行口", "ComName", ""), "Com2");
    ini.writeString("仪表", "名称", "托利多");
    EXPECT_EQ(readBytes(), "[串行口]\nComName=Com2\n[仪表]\n名称=托利多\n");
}

TEST_F(ProfileFileTest, ByteOrderMarkMakesUtf8AndIsKept) {
    writeBytes("\xEF\xBB\xBF[Word]\r\nNum=100\r\n");
    ProfileFile ini(m_ini);
    EXPECT_EQ(ini.readString("word", "num", ""), "100");
    ini.writeString("软件", "背景色", "1");
    EXPECT_EQ(readBytes(), "\xEF\xBB\xBF[Word]\r\nNum=100\r\n[软件]\r\n背景色=1\r\n");
}

TEST_F(ProfileFileTest, ReadOnlyFileRefusesTheWriteAndStaysIntact) {
    writeBytes("[A]\r\nx=1\r\n");
    fs::permissions(m_ini, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    ProfileFile ini(m_ini);
    try {
        ini.writeString("A", "x", "2");
        FAIL() << "the write went through";
    } catch (const ProfileWriteError& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + m_ini);
    }
    EXPECT_EQ(readBytes(), "[A]\r\nx=1\r\n");
}

TEST_F(ProfileFileTest, MissingOrUnusableDirectoryRefusesTheWrite) {
    const std::string inMissingDir = (m_dir / "gone" / "Option.ini").string();
    EXPECT_THROW(ProfileFile(inMissingDir).writeString("A", "x", "1"), ProfileWriteError);
    writeBytes((m_dir / "plain").string(), "not a directory");
    const std::string underFile = (m_dir / "plain" / "Option.ini").string();
    try {
        ProfileFile(underFile).writeString("A", "x", "1");
        FAIL() << "the write went through";
    } catch (const ProfileWriteError& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + underFile);
    }
    fs::create_directory(m_dir / "Option.ini");
    EXPECT_THROW(ProfileFile(m_ini).writeString("A", "x", "1"), ProfileWriteError);
}

TEST_F(ProfileFileTest, ReadOnlyDirectoryRefusesTheWrite) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes into any directory";
    }
    fs::permissions(m_dir, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_THROW(ProfileFile(m_ini).writeString("A", "x", "1"), ProfileWriteError);
}

TEST_F(ProfileFileTest, WriteLeavesNoTemporaryFilesAndKeepsModeAndLinks) {
    writeBytes((m_dir / "real.ini").string(), "[A]\nx=1\n");
    fs::permissions(m_dir / "real.ini", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink("real.ini", m_ini);
    ProfileFile(m_ini).writeString("A", "x", "2");
    EXPECT_TRUE(fs::is_symlink(m_ini));
    EXPECT_EQ(readBytes(), "[A]\nx=2\n");
    EXPECT_EQ(fs::status(m_dir / "real.ini").permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 2);
}

TEST_F(ProfileFileTest, TextsTheFileCannotHoldAreRefusedAndNothingIsWritten) {
    writeBytes("[A]\r\nx=1\r\n");
    ProfileFile ini(m_ini);
    EXPECT_THROW(ini.writeString("A", "x", "1\r\n[B]"), ProfileValueError);
    EXPECT_THROW(ini.writeString("A]", "x", "1"), ProfileValueError);
    EXPECT_THROW(ini.writeString("A", "x=y", "1"), ProfileValueError);
    EXPECT_THROW(ini.writeString("A", "", "1"), ProfileValueError);
    EXPECT_THROW(ini.writeString("A", "x", "\xF0\x9F\x98\x80"), ProfileValueError); // no such character in GBK
    EXPECT_THROW(ini.writeString("A", "x", "\xC3"), ProfileValueError);             // not UTF-8
    EXPECT_EQ(readBytes(), "[A]\r\nx=1\r\n");
}

} // namespace
} // namespace kelvora
