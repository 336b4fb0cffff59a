// The OSC message file reader: message by message through well-formed and broken files, strings
// and argument lists longer than its buffers, and every cut of a tetraproc file.

#include "calibration/OSCFile.h"
#include "calibration/TetraFileWriter.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using tetrafile::Bytes;
using tetrafile::OscArg;
using tetrafile::OscMessage;

namespace {

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}
Bytes word(uint32_t value) {
    return {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
}
Bytes str(const std::string& text) {
    Bytes out;
    tetrafile::appendString(out, text);
    return out;
}
Bytes framed(const Bytes& content) {
    return cat({word(static_cast<uint32_t>(content.size())), content});
}
Bytes intMessage(const std::string& address, int32_t value) {
    return tetrafile::message(address, {OscArg::Int(value)}).bytes();
}

class OSCFileTest : public ::testing::Test {
protected:
    void open(COSCFile& reader, const Bytes& bytes) {
        const std::string path = dir.file("f" + std::to_string(files++) + ".tetra");
        ASSERT_TRUE(tetrafile::writeBytes(path, bytes));
        ASSERT_TRUE(reader.openFile(path.c_str()));
    }

    TempDirectory dir;
    int files = 0;
};

} // namespace

TEST_F(OSCFileTest, MessageSequencesOfWellFormedAndBrokenFiles) {
    struct Read {
        const char* address;
        short values;
        int first; // integer argument 0, checked when its tag is "i"
    };
    struct Case {
        const char* what;
        Bytes file;
        std::vector<Read> reads; // the messages read before readNextPacket answers false
    };
    Bytes shortSize = intMessage("/tetraproc", 3);
    shortSize[3] = 16; // ends before the argument: the size bounds only address and tags
    Bytes huge = intMessage("/huge", 12);
    huge[0] = 0x7F;
    Bytes blobFile = framed(cat({str("/b"), str(",b"), word(1000), word(0)}));
    for (int k = 0; k < 80; ++k)
        blobFile = cat({blobFile, intMessage("/filler", k)});

    const Case cases[] = {
        {"comma alone",
         cat({intMessage("/first", 11), framed(cat({str("/none"), str(",")}))}),
         {{"first", 1, 11}, {"none", 0, 0}}},
        {"size ends after the address: no arguments, never the previous tags",
         cat({intMessage("/first", 5), framed(str("/bare")), intMessage("/third", 6)}),
         {{"first", 1, 5}, {"bare", 0, 0}, {"third", 1, 6}}},
        {"size shorter than the arguments",
         cat({shortSize, intMessage("/next", 4)}),
         {{"tetraproc", 1, 3}, {"next", 1, 4}}},
        {"size longer than the arguments: the rest is passed over",
         cat({framed(cat({str("/pad"), str(",i"), word(77), word(0xDEADBEEF), word(0x2F2F2F2F)})),
              intMessage("/next", 8)}),
         {{"pad", 1, 77}, {"next", 1, 8}}},
        {"size beyond the end of the file",
         cat({huge, intMessage("/swallowed", 1)}),
         {{"huge", 1, 12}}},
        {"tag of unknown size: the rest of the message is passed over",
         cat({intMessage("/zero", 0),
              framed(cat({str("/odd"), str(",ixi"), word(6), word(0xAAAAAAAA), word(99)})),
              intMessage("/next", 3)}),
         {{"zero", 1, 0}, {"odd", 3, 6}, {"next", 1, 3}}},
        {"bundle",
         cat({intMessage("/before", 1),
              framed(cat({str("#bundle"), word(0), word(1), intMessage("/inner", 1)})),
              intMessage("/after", 2)}),
         {{"before", 1, 1}}},
        {"no comma", framed(cat({str("/x"), str("if"), word(1)})), {}},
        {"size 0", cat({word(0), str("/ab"), str(",i"), word(1)}), {}},
        {"size ends inside the address", cat({word(4), str("/abcdefg"), str(",i"), word(1)}), {}},
        {"blob longer than its message", blobFile, {}},
        {"double cut off", cat({word(20), str("/d"), str(",d"), word(0x40090000)}), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        COSCFile reader;
        open(reader, c.file);
        for (const Read& r : c.reads) {
            ASSERT_TRUE(reader.readNextPacket());
            EXPECT_STREQ(reader.getPacketAddress(), r.address);
            EXPECT_EQ(reader.getNumValues(), r.values);
            EXPECT_EQ(reader.getValueType(0), r.values > 0 ? 'i' : 0);
            if (r.values > 0) {
                EXPECT_EQ(reader.getIntValue(0), r.first);
            }
        }
        EXPECT_FALSE(reader.readNextPacket());
    }
}

TEST_F(OSCFileTest, ContentBeyondTheBuffersIsCut) {
    const std::string longAddress = "/" + std::string(1999, 'a');
    const std::string longString(3000, 's');
    std::vector<OscArg> forty;
    for (int k = 0; k < 40; ++k)
        forty.push_back(OscArg::Int(100 + k));
    COSCFile reader;
    open(reader,
         cat({tetrafile::message(longAddress, {OscArg::String(longString), OscArg::Int(5)}).bytes(),
              tetrafile::message("/forty", forty).bytes(), intMessage("/next", -1)}));
    // Read whole to stay in step (the integer after the string comes out right), kept cut.
    ASSERT_TRUE(reader.readNextPacket());
    EXPECT_EQ(std::string(reader.getPacketAddress()), longAddress.substr(1, 1022));
    EXPECT_EQ(std::string(reader.getStringValue(0)), longString.substr(0, 1023));
    EXPECT_EQ(reader.getIntValue(1), 5);

    // 40 arguments: the first 32 are kept, the rest skipped by the size.
    ASSERT_TRUE(reader.readNextPacket());
    EXPECT_EQ(reader.getNumValues(), 32);
    for (short i = 0; i < 32; ++i)
        EXPECT_EQ(reader.getIntValue(i), 100 + i);
    // Indices beyond what was kept answer nothing, even after a caller wrote into that answer
    // (any index is the fuzzer's).
    reader.getStringValue(-1)[0] = 'X';
    EXPECT_STREQ(reader.getStringValue(40), "");
    ASSERT_TRUE(reader.readNextPacket());
    EXPECT_STREQ(reader.getPacketAddress(), "next");
    EXPECT_EQ(reader.getIntValue(0), -1);
}

TEST_F(OSCFileTest, TetraprocFileAndEveryCutOfIt) {
    // Every prefix of a calibration as tetraproc writes it, the whole file included: the whole
    // messages before the cut read as written, the cut one ends the reading; only a string cut by
    // the end still completes its message (readOSCString never fails), after which the end is
    // reached.
    const std::vector<OscMessage> messages = tetrafile::mic1234Calibration().messages();
    const Bytes whole = tetrafile::encode(messages);
    for (size_t cut = 0; cut <= whole.size(); ++cut) {
        size_t complete = 0, offset = 0;
        bool cutInString = false;
        for (; complete < messages.size(); ++complete) {
            const OscMessage& m = messages[complete];
            if (offset + m.bytes().size() > cut) {
                cutInString = m.args.size() == 1 && m.args[0].type == 's' &&
                              cut >= offset + 4 + str(m.address).size() + str(",s").size();
                break;
            }
            offset += m.bytes().size();
        }
        COSCFile reader;
        open(reader, Bytes(whole.begin(), whole.begin() + static_cast<long>(cut)));
        size_t read = 0;
        for (; reader.readNextPacket(); ++read) {
            ASSERT_LT(read, messages.size());
            if (read >= complete) continue;
            const OscMessage& m = messages[read];
            EXPECT_EQ("/" + std::string(reader.getPacketAddress()), m.address);
            ASSERT_EQ(reader.getNumValues(), static_cast<short>(m.args.size()));
            for (short i = 0; i < reader.getNumValues(); ++i) {
                const OscArg& a = m.args[static_cast<size_t>(i)];
                EXPECT_EQ(reader.getValueType(i), a.type);
                EXPECT_TRUE(a.type == 'i'   ? reader.getIntValue(i) == a.i
                            : a.type == 'f' ? reader.getFloatValue(i) == a.f
                                            : reader.getStringValue(i) == a.s)
                    << m.address << " argument " << i;
            }
        }
        EXPECT_EQ(read, complete + (cutInString ? 1 : 0)) << "cut at " << cut;
        // Only a cut between two messages is an end; anything else is a file cut short.
        EXPECT_EQ(reader.endedCleanly(), cut == offset) << "cut at " << cut;
    }
}
