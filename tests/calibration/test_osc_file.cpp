#include "calibration/OSCFile.h"
#include "calibration/TetraFileWriter.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <unistd.h>

using tetrafile::Bytes;
using tetrafile::OscArg;
using tetrafile::OscMessage;

namespace {

class OSCFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern =
            std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/xetetra_osc_XXXXXX";
        ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        for (const std::string& path : written)
            unlink(path.c_str());
        if (!dir.empty()) rmdir(dir.c_str());
    }

    std::string write(const Bytes& bytes) {
        const std::string path = dir + "/file" + std::to_string(written.size()) + ".tetra";
        EXPECT_TRUE(tetrafile::writeBytes(path, bytes));
        written.push_back(path);
        return path;
    }

    // Opens the bytes as a file through the reader's own openFile.
    void open(COSCFile& reader, const Bytes& bytes) {
        ASSERT_TRUE(reader.openFile(write(bytes).c_str()));
    }

    std::string dir;
    std::vector<std::string> written;
};

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes word(uint32_t value) {
    Bytes out;
    tetrafile::appendWord(out, value);
    return out;
}

Bytes oscString(const std::string& text) {
    Bytes out;
    tetrafile::appendString(out, text);
    return out;
}

// A size prefix and the given content.
Bytes framed(const Bytes& content) {
    return concat({word(static_cast<uint32_t>(content.size())), content});
}

Bytes intMessage(const std::string& address, int32_t value) {
    return tetrafile::message(address, {OscArg::Int(value)}).bytes();
}

// Every string the reader hands out ends inside its buffer.
void expectTerminated(COSCFile& reader) {
    EXPECT_LT(strnlen(reader.getPacketAddress(), COSCFile::kMaxStringLength),
              static_cast<size_t>(COSCFile::kMaxStringLength));
    for (short i = 0; i < COSCFile::kMaxValues; ++i)
        EXPECT_LT(strnlen(reader.getStringValue(i), COSCFile::kMaxStringLength),
                  static_cast<size_t>(COSCFile::kMaxStringLength));
    EXPECT_LE(reader.getNumValues(), COSCFile::kMaxValues);
}

} // namespace

TEST_F(OSCFileTest, EmptyFileAndMissingFile) {
    COSCFile empty;
    open(empty, {});
    EXPECT_FALSE(empty.readNextPacket());

    COSCFile missing;
    EXPECT_FALSE(missing.openFile((dir + "/absent.tetra").c_str()));
    EXPECT_FALSE(missing.readNextPacket());
    EXPECT_FALSE(missing.openFile(static_cast<const char*>(nullptr)));

    // Before any message the reader answers empty values.
    COSCFile fresh;
    EXPECT_STREQ(fresh.getPacketAddress(), "");
    EXPECT_EQ(fresh.getNumValues(), 0);
    EXPECT_EQ(fresh.getValueType(0), 0);
    EXPECT_EQ(fresh.getIntValue(0), 0);
    EXPECT_EQ(fresh.getFloatValue(0), 0.0f);
    EXPECT_STREQ(fresh.getStringValue(0), "");
}

TEST_F(OSCFileTest, TetraprocVersionMessageByteExact) {
    const Bytes bytes = {0x00, 0x00, 0x00, 0x14, '/', 't', 'e',  't',  'r',  'a',  'p',  'r',
                         'o',  'c',  0x00, 0x00, ',', 'i', 0x00, 0x00, 0x00, 0x00, 0x00, 0x03};
    EXPECT_EQ(bytes, intMessage("/tetraproc", 3)); // the writer frames it the same way
    COSCFile reader;
    open(reader, bytes);
    ASSERT_TRUE(reader.readNextPacket());
    EXPECT_STREQ(reader.getPacketAddress(), "tetraproc");
    EXPECT_EQ(reader.getNumValues(), 1);
    EXPECT_EQ(reader.getValueType(0), 'i');
    EXPECT_EQ(reader.getIntValue(0), 3);
    EXPECT_FALSE(reader.readNextPacket());
}

TEST_F(OSCFileTest, NumberEncodingsAndByteOrder) {
    // ",fi" with 3F 80 00 00 and FF FF FF FE, then ",f" with C2 F6 E9 79 (-123.456).
    const Bytes first = framed(concat(
        {oscString("/n"), oscString(",fi"), {0x3F, 0x80, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFE}}));
    const Bytes second = framed(concat(
        {oscString("/m"), oscString(",fi"), {0xC2, 0xF6, 0xE9, 0x79, 0x80, 0x00, 0x00, 0x00}}));
    COSCFile reader;
    open(reader, concat({first, second}));
    ASSERT_TRUE(reader.readNextPacket());
    EXPECT_EQ(reader.getFloatValue(0), 1.0f);
    EXPECT_EQ(reader.getIntValue(1), -2);
    ASSERT_TRUE(reader.readNextPacket());
    EXPECT_EQ(reader.getFloatValue(0), -123.456f);
    EXPECT_EQ(reader.getIntValue(1), INT32_MIN);

    unsigned char bytes[4] = {0x01, 0x02, 0x03, 0x04};
    swapEndian(bytes);
    uint32_t value;
    std::memcpy(&value, bytes, sizeof(value));
    EXPECT_EQ(value, 0x01020304u);
}

TEST_F(OSCFileTest, AddressChunksAndPadding) {
    // "/ab" fits one chunk with its terminator; "/abc" needs a second chunk of zeros. The integers
    // come out right only if exactly those chunks were consumed.
    const Bytes ab = {0, 0, 0, 12, '/', 'a', 'b', 0, ',', 'i', 0, 0, 0, 0, 0, 7};
    const Bytes abc = {0, 0, 0, 16, '/', 'a', 'b', 'c', 0, 0, 0, 0, ',', 'i', 0, 0, 0, 0, 0, 8};
    COSCFile reader;
    open(reader, concat({ab, abc, ab}));
    ASSERT_TRUE(reader.readNextPacket());
    EXPECT_STREQ(reader.getPacketAddress(), "ab");
    EXPECT_EQ(reader.getIntValue(0), 7);
    ASSERT_TRUE(reader.readNextPacket());
    EXPECT_STREQ(reader.getPacketAddress(), "abc");
    EXPECT_EQ(reader.getIntValue(0), 8);
    ASSERT_TRUE(reader.readNextPacket());
    EXPECT_STREQ(reader.getPacketAddress(), "ab");
    EXPECT_FALSE(reader.readNextPacket());
}

TEST_F(OSCFileTest, CommaAloneHasNoArguments) {
    COSCFile reader;
    open(reader,
         concat({intMessage("/first", 11), framed(concat({oscString("/none"), oscString(",")}))}));
    ASSERT_TRUE(reader.readNextPacket());
    ASSERT_TRUE(reader.readNextPacket());
    EXPECT_STREQ(reader.getPacketAddress(), "none");
    EXPECT_EQ(reader.getNumValues(), 0);
    EXPECT_EQ(reader.getValueType(0), 0);
    EXPECT_FALSE(reader.readNextPacket());
}

TEST_F(OSCFileTest, ReadOSCStringCountsChunksTried) {
    char buffer[COSCFile::kMaxStringLength];

    // Four characters: their chunk, then one of padding zeros.
    std::string path = write(concat({oscString("abcd"), {'x', 'y'}}));
    FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(readOSCString(file, buffer), 8);
    EXPECT_STREQ(buffer, "abcd");
    EXPECT_EQ(std::ftell(file), 8);
    // Two bytes left: one failed chunk still counts, and the buffer ends terminated.
    EXPECT_EQ(readOSCString(file, buffer), 4);
    EXPECT_STREQ(buffer, "xy");
    EXPECT_EQ(readOSCString(file, buffer), 4);
    std::fclose(file);

    // Three characters fit one chunk with their terminator.
    path = write(oscString("abc"));
    file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(readOSCString(file, buffer), 4);
    EXPECT_STREQ(buffer, "abc");
    std::fclose(file);

    // 3000 characters: all 751 chunks are read, the first 1023 characters are kept.
    const std::string longText(3000, 'q');
    path = write(concat({oscString(longText), word(0x12345678)}));
    file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(readOSCString(file, buffer), 3004);
    EXPECT_EQ(std::string(buffer), longText.substr(0, 1023));
    unsigned char next[4];
    ASSERT_EQ(std::fread(next, 1, 4, file), 4u);
    EXPECT_EQ(next[0], 0x12);

    // A small buffer keeps what fits, terminated.
    std::rewind(file);
    char small[5];
    std::memset(small, 'z', sizeof(small));
    EXPECT_EQ(readOSCString(file, small, sizeof(small)), 3004);
    EXPECT_STREQ(small, "qqqq");
    std::fclose(file);
}

TEST_F(OSCFileTest, ArgumentsOfEveryDecodedTypeAndStaleElements) {
    OscMessage mixed =
        tetrafile::message("/mixed", {OscArg::Int(-7), OscArg::Float(0.25f), OscArg::String("abcd"),
                                      OscArg::String(""), OscArg::Int(42)});
    OscMessage floats = tetrafile::message("/floats", {OscArg::Float(1.5f), OscArg::Float(-2.5f)});
    COSCFile reader;
    open(reader, concat({mixed.bytes(), floats.bytes()}));
    ASSERT_TRUE(reader.readNextPacket());
    EXPECT_STREQ(reader.getPacketAddress(), "mixed");
    ASSERT_EQ(reader.getNumValues(), 5);
    const char types[] = {'i', 'f', 's', 's', 'i'};
    for (short i = 0; i < 5; ++i)
        EXPECT_EQ(reader.getValueType(i), types[i]);
    EXPECT_EQ(reader.getIntValue(0), -7);
    EXPECT_EQ(reader.getFloatValue(1), 0.25f);
    EXPECT_STREQ(reader.getStringValue(2), "abcd");
    EXPECT_STREQ(reader.getStringValue(3), "");
    EXPECT_EQ(reader.getIntValue(4), 42);

    // The next message writes only the arrays of its own types.
    ASSERT_TRUE(reader.readNextPacket());
    EXPECT_EQ(reader.getNumValues(), 2);
    EXPECT_EQ(reader.getFloatValue(0), 1.5f);
    EXPECT_EQ(reader.getFloatValue(1), -2.5f);
    EXPECT_EQ(reader.getIntValue(0), -7);
    EXPECT_STREQ(reader.getStringValue(2), "abcd");
    EXPECT_EQ(reader.getIntValue(4), 42);
    EXPECT_FALSE(reader.readNextPacket());
}

TEST_F(OSCFileTest, TetraprocFileReadsMessageByMessage) {
    const tetrafile::TetraCalibration calibration = tetrafile::mic1234Calibration();
    const std::vector<OscMessage> messages = calibration.messages();
    COSCFile reader;
    open(reader, calibration.bytes());
    for (const OscMessage& m : messages) {
        ASSERT_TRUE(reader.readNextPacket()) << m.address;
        EXPECT_EQ(std::string("/") + reader.getPacketAddress(), m.address);
        ASSERT_EQ(reader.getNumValues(), static_cast<short>(m.args.size()));
        for (short i = 0; i < reader.getNumValues(); ++i) {
            const OscArg& arg = m.args[static_cast<size_t>(i)];
            ASSERT_EQ(reader.getValueType(i), arg.type);
            if (arg.type == 'i') {
                EXPECT_EQ(reader.getIntValue(i), arg.i);
            } else if (arg.type == 'f') {
                EXPECT_EQ(reader.getFloatValue(i), arg.f);
            } else {
                EXPECT_EQ(reader.getStringValue(i), arg.s);
            }
        }
    }
    EXPECT_FALSE(reader.readNextPacket());

    // The committed default fixture reads as tetraproc's default configuration.
    COSCFile fixture;
    ASSERT_TRUE(fixture.openFile(XETETRA_SOURCE_DIR "/tests/fixtures/default.tetra"));
    int count = 0;
    while (fixture.readNextPacket()) {
        ++count;
        if (std::strcmp(fixture.getPacketAddress(), "matrix/row") == 0 &&
            fixture.getIntValue(0) == 3) {
            EXPECT_EQ(fixture.getFloatValue(1), 0.866f);
            EXPECT_EQ(fixture.getFloatValue(2), -0.866f);
        }
        if (std::strcmp(fixture.getPacketAddress(), "micident") == 0) {
            EXPECT_STREQ(fixture.getStringValue(0), "Theoretical microphone");
        }
    }
    EXPECT_EQ(count, 15);
}

TEST_F(OSCFileTest, CutOffEverywhere) {
    // Every prefix of a real calibration: the whole messages before the cut read as written; the
    // cut message ends the reading, except that a string cut by the end of the file still
    // completes its message (readOSCString never fails), after which the end is reached.
    const std::vector<OscMessage> messages = tetrafile::mic1234Calibration().messages();
    const Bytes whole = tetrafile::encode(messages);
    for (size_t cut = 0; cut <= whole.size(); ++cut) {
        size_t complete = 0, offset = 0;
        bool cutInString = false;
        for (const OscMessage& m : messages) {
            const Bytes b = m.bytes();
            if (offset + b.size() <= cut) {
                ++complete;
                offset += b.size();
                continue;
            }
            if (m.typeTags() == ",s") {
                const size_t stringStart =
                    offset + 4 + oscString(m.address).size() + oscString(m.typeTags()).size();
                cutInString = cut >= stringStart;
            }
            break;
        }
        COSCFile reader;
        open(reader, Bytes(whole.begin(), whole.begin() + static_cast<long>(cut)));
        size_t read = 0;
        while (reader.readNextPacket()) {
            if (read < complete) {
                EXPECT_EQ(std::string("/") + reader.getPacketAddress(), messages[read].address);
            }
            expectTerminated(reader);
            ++read;
            ASSERT_LE(read, messages.size());
        }
        EXPECT_EQ(read, complete + (cutInString ? 1 : 0)) << "cut at " << cut;
        EXPECT_FALSE(reader.readNextPacket());
    }

    // The edge case by name: a file ending in the middle of a float.
    Bytes lf = tetrafile::message("/lffilt/par",
                                  {OscArg::Float(20.0f), OscArg::Float(2.0f), OscArg::Float(0.0f)})
                   .bytes();
    lf.resize(lf.size() - 2);
    COSCFile reader;
    open(reader, lf);
    EXPECT_FALSE(reader.readNextPacket());
}

TEST_F(OSCFileTest, OversizeAddressStringAndTypeTags) {
    const std::string longAddress = "/" + std::string(1999, 'a');
    const std::string longString(3000, 's');
    OscMessage big = tetrafile::message(longAddress, {OscArg::String(longString), OscArg::Int(5)});
    COSCFile reader;
    open(reader, concat({big.bytes(), intMessage("/after", 9)}));
    ASSERT_TRUE(reader.readNextPacket());
    EXPECT_EQ(std::string(reader.getPacketAddress()), longAddress.substr(1, 1022));
    EXPECT_EQ(std::string(reader.getStringValue(0)), longString.substr(0, 1023));
    EXPECT_EQ(reader.getIntValue(1), 5);
    ASSERT_TRUE(reader.readNextPacket());
    EXPECT_STREQ(reader.getPacketAddress(), "after");
    EXPECT_EQ(reader.getIntValue(0), 9);

    // 40 arguments: the first 32 are kept, the rest skipped by the size, and the tag string is
    // kept cut to its buffer.
    std::vector<OscArg> forty;
    for (int k = 0; k < 40; ++k)
        forty.push_back(OscArg::Int(100 + k));
    COSCFile many;
    open(many, concat({tetrafile::message("/forty", forty).bytes(), intMessage("/next", -1)}));
    ASSERT_TRUE(many.readNextPacket());
    EXPECT_EQ(many.getNumValues(), 32);
    for (short i = 0; i < 32; ++i) {
        EXPECT_EQ(many.getValueType(i), 'i');
        EXPECT_EQ(many.getIntValue(i), 100 + i);
    }
    EXPECT_EQ(many.getValueType(32), 0);
    EXPECT_EQ(many.getIntValue(32), 0);
    EXPECT_EQ(many.getIntValue(39), 0);
    expectTerminated(many);
    ASSERT_TRUE(many.readNextPacket());
    EXPECT_STREQ(many.getPacketAddress(), "next");
    EXPECT_EQ(many.getIntValue(0), -1);
    EXPECT_FALSE(many.readNextPacket());
}

TEST_F(OSCFileTest, AccessorsOutsideThePositions) {
    COSCFile reader;
    open(reader, tetrafile::message("/s", {OscArg::String("x"), OscArg::Int(4)}).bytes());
    ASSERT_TRUE(reader.readNextPacket());
    for (short i :
         {static_cast<short>(-1), static_cast<short>(2), static_cast<short>(32),
          static_cast<short>(1000), static_cast<short>(SHRT_MAX), static_cast<short>(SHRT_MIN)}) {
        EXPECT_EQ(reader.getValueType(i), 0) << i;
        if (i < 0 || i >= 32) {
            EXPECT_EQ(reader.getIntValue(i), 0) << i;
            EXPECT_EQ(reader.getFloatValue(i), 0.0f) << i;
            EXPECT_STREQ(reader.getStringValue(i), "") << i;
        }
    }
    // A caller that writes into the empty answer does not change the next one.
    reader.getStringValue(-1)[0] = 'X';
    EXPECT_STREQ(reader.getStringValue(40), "");
}

TEST_F(OSCFileTest, PacketSizesThatDisagreeWithTheContent) {
    // Size 0 frames no address: the reading ends there.
    COSCFile zero;
    open(zero, concat({word(0), oscString("/ab"), oscString(",i"), word(1)}));
    EXPECT_FALSE(zero.readNextPacket());

    // A size that ends right after the address: no arguments, never the previous message's tags.
    COSCFile bare;
    open(bare,
         concat({intMessage("/first", 5), framed(oscString("/bare")), intMessage("/third", 6)}));
    ASSERT_TRUE(bare.readNextPacket());
    ASSERT_TRUE(bare.readNextPacket());
    EXPECT_STREQ(bare.getPacketAddress(), "bare");
    EXPECT_EQ(bare.getNumValues(), 0);
    ASSERT_TRUE(bare.readNextPacket());
    EXPECT_STREQ(bare.getPacketAddress(), "third");
    EXPECT_EQ(bare.getIntValue(0), 6);

    // A size that ends inside the address or inside the type tags cuts them off.
    COSCFile cutAddress;
    open(cutAddress, concat({word(4), oscString("/abcdefg"), oscString(",i"), word(1)}));
    EXPECT_FALSE(cutAddress.readNextPacket());
    COSCFile cutTags;
    open(cutTags, concat({word(12), oscString("/abc"), oscString(",iiiiiii"), word(1)}));
    EXPECT_FALSE(cutTags.readNextPacket());

    // A size shorter than the arguments bounds only the address and tags: the argument is read.
    Bytes shortSize = intMessage("/tetraproc", 3);
    shortSize[3] = 16;
    COSCFile shortReader;
    open(shortReader, concat({shortSize, intMessage("/next", 4)}));
    ASSERT_TRUE(shortReader.readNextPacket());
    EXPECT_EQ(shortReader.getIntValue(0), 3);
    ASSERT_TRUE(shortReader.readNextPacket());
    EXPECT_EQ(shortReader.getIntValue(0), 4);

    // A size longer than the arguments: the bytes it claims are passed over.
    Bytes longer =
        concat({oscString("/pad"), oscString(",i"), word(77), word(0xDEADBEEF), word(0x2F2F2F2F)});
    COSCFile longReader;
    open(longReader, concat({framed(longer), intMessage("/next", 8)}));
    ASSERT_TRUE(longReader.readNextPacket());
    EXPECT_EQ(longReader.getIntValue(0), 77);
    ASSERT_TRUE(longReader.readNextPacket());
    EXPECT_STREQ(longReader.getPacketAddress(), "next");
    EXPECT_EQ(longReader.getIntValue(0), 8);

    // A size far beyond the end of the file: the message is kept, then the file ends.
    Bytes huge = intMessage("/huge", 12);
    huge[0] = 0x7F;
    COSCFile hugeReader;
    open(hugeReader, concat({huge, intMessage("/swallowed", 1)}));
    ASSERT_TRUE(hugeReader.readNextPacket());
    EXPECT_EQ(hugeReader.getIntValue(0), 12);
    EXPECT_FALSE(hugeReader.readNextPacket());
}

TEST_F(OSCFileTest, OtherArgumentTypes) {
    // 'd' (8 bytes), 'T' (none), 'b' (a 5-byte blob padded to 8) and 'c' (4 bytes) are passed
    // over by their sizes, and the decoded arguments around them come out right.
    const Bytes body = concat({oscString("/other"),
                               oscString(",dibTfc"),
                               {0x40, 0x09, 0x21, 0xFB, 0x54, 0x44, 0x2D, 0x18},
                               word(31),
                               word(5),
                               {1, 2, 3, 4, 5, 0, 0, 0},
                               {0x3F, 0x00, 0x00, 0x00},
                               word('A')});
    COSCFile reader;
    open(reader, concat({framed(body), intMessage("/next", 2)}));
    ASSERT_TRUE(reader.readNextPacket());
    EXPECT_EQ(reader.getNumValues(), 6);
    EXPECT_EQ(reader.getValueType(0), 'd');
    EXPECT_EQ(reader.getIntValue(1), 31);
    EXPECT_EQ(reader.getFloatValue(4), 0.5f);
    ASSERT_TRUE(reader.readNextPacket());
    EXPECT_EQ(reader.getIntValue(0), 2);

    // A tag of unknown size: the rest of the message is passed over by its size.
    const Bytes unknown = concat({oscString("/odd"), oscString(",ixi"), word(6), word(0xAAAAAAAA),
                                  word(0xBBBBBBBB), word(99)});
    COSCFile oddReader;
    open(oddReader, concat({intMessage("/zero", 0), framed(unknown), intMessage("/next", 3)}));
    ASSERT_TRUE(oddReader.readNextPacket());
    ASSERT_TRUE(oddReader.readNextPacket());
    EXPECT_EQ(oddReader.getIntValue(0), 6);
    EXPECT_EQ(oddReader.getValueType(1), 'x');
    ASSERT_TRUE(oddReader.readNextPacket());
    EXPECT_STREQ(oddReader.getPacketAddress(), "next");
    EXPECT_EQ(oddReader.getIntValue(0), 3);

    // A blob longer than its message, and a double cut off by the end of the file.
    COSCFile blobReader;
    Bytes blobFile = framed(concat({oscString("/b"), oscString(",b"), word(1000), word(0)}));
    for (int k = 0; k < 80; ++k)
        blobFile = concat({blobFile, intMessage("/filler", k)});
    open(blobReader, blobFile);
    EXPECT_FALSE(blobReader.readNextPacket());
    COSCFile doubleReader;
    open(doubleReader, concat({word(20), oscString("/d"), oscString(",d"), word(0x40090000)}));
    EXPECT_FALSE(doubleReader.readNextPacket());
}

TEST_F(OSCFileTest, BundlesAndGarbageEndTheReading) {
    const Bytes bundle =
        framed(concat({oscString("#bundle"), word(0), word(1), intMessage("/inner", 1)}));
    COSCFile bundleReader;
    open(bundleReader, concat({intMessage("/before", 1), bundle, intMessage("/after", 2)}));
    ASSERT_TRUE(bundleReader.readNextPacket());
    EXPECT_FALSE(bundleReader.readNextPacket());

    COSCFile noComma;
    open(noComma, framed(concat({oscString("/x"), oscString("if"), word(1)})));
    EXPECT_FALSE(noComma.readNextPacket());

    // Random files and random damage to a real one: every string stays in its buffer and the
    // reading ends within one message per 8 bytes (a size word and an address chunk at least).
    std::mt19937 random(20240517);
    const Bytes real = tetrafile::mic1234Calibration().bytes();
    for (int trial = 0; trial < 300; ++trial) {
        Bytes bytes;
        if (trial % 2 == 0) {
            bytes.resize(random() % 3000);
            for (uint8_t& b : bytes)
                b = static_cast<uint8_t>(random());
            // Plausible sizes and slashes make the reader go deeper than pure noise would.
            for (size_t k = 0; k + 8 < bytes.size(); k += 4 + random() % 64) {
                bytes[k] = 0;
                bytes[k + 1] = 0;
                bytes[k + 2] = static_cast<uint8_t>(random() % 2);
                bytes[k + 4] = '/';
            }
        } else {
            bytes = real;
            for (int damage = 0; damage < 1 + trial % 7; ++damage)
                bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
        }
        COSCFile reader;
        open(reader, bytes);
        size_t packets = 0;
        while (reader.readNextPacket()) {
            expectTerminated(reader);
            for (short i = -1; i <= 33; ++i) {
                reader.getValueType(i);
                reader.getIntValue(i);
                reader.getFloatValue(i);
            }
            ++packets;
            ASSERT_LE(packets, bytes.size() / 8) << "trial " << trial;
        }
        EXPECT_FALSE(reader.readNextPacket());
    }
}

TEST_F(OSCFileTest, AttachedMemoryStreamAndReopening) {
    Bytes bytes = intMessage("/mem", 21);
    FILE* stream = fmemopen(bytes.data(), bytes.size(), "rb");
    ASSERT_NE(stream, nullptr);
    COSCFile reader;
    ASSERT_TRUE(reader.attachFile(stream));
    ASSERT_TRUE(reader.readNextPacket());
    EXPECT_EQ(reader.getIntValue(0), 21);

    // Opening another file closes the stream and starts on the new file.
    ASSERT_TRUE(reader.openFile(write(intMessage("/disk", 22)).c_str()));
    ASSERT_TRUE(reader.readNextPacket());
    EXPECT_STREQ(reader.getPacketAddress(), "disk");
    EXPECT_FALSE(reader.readNextPacket());
    EXPECT_FALSE(reader.attachFile(nullptr));
    EXPECT_FALSE(reader.readNextPacket());
}
