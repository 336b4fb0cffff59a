#include "dsp/Filter.h"
#include "dsp/FilterCoefficients.h"
#include "dsp/IIRFilter.h"

#include "FilterTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

using namespace filtertest;

namespace {

// A Tolvin coefficients file, byte by byte: header word, nA and nB as little-endian int16, then
// the B floats and the A floats, little-endian.
struct TolvinBytes {
    std::vector<unsigned char> bytes;
    TolvinBytes& word(uint32_t w) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<unsigned char>(w >> (8 * i)));
        return *this;
    }
    TolvinBytes& int16(int v) {
        const uint16_t u = static_cast<uint16_t>(static_cast<int16_t>(v));
        bytes.push_back(static_cast<unsigned char>(u & 0xff));
        bytes.push_back(static_cast<unsigned char>(u >> 8));
        return *this;
    }
    TolvinBytes& real(float f) {
        uint32_t w;
        std::memcpy(&w, &f, 4);
        return word(w);
    }
    TolvinBytes& reals(const std::vector<float>& values) {
        for (float f : values)
            real(f);
        return *this;
    }
    TolvinBytes& cut(size_t count) {
        bytes.resize(bytes.size() - count);
        return *this;
    }
};

TolvinBytes tolvin(const std::vector<float>& b, const std::vector<float>& a) {
    TolvinBytes t;
    t.word(0x1234abcd).int16(static_cast<int>(a.size())).int16(static_cast<int>(b.size()));
    return t.reals(b).reals(a);
}

std::vector<float> arrayOf(const float* p, int n) {
    return std::vector<float>(p, p + n);
}

std::string invalid(const std::string& path) {
    return "Invalid Tolvin filter coefficients file: " + path;
}

} // namespace

TEST(Filter, PlainFilterPassesAndKeepsItsRate) {
    CFilter f;
    EXPECT_EQ(f.getSamplingRate(), 48000.0f);
    auto signal = noise(1000, 1);
    const auto original = signal;
    f.init();
    f.clearBuffers();
    f.setCoefficients(nullptr);
    f.doFilter(signal.data(), 1000);
    f.doFilter(signal.data(), 0);
    f.doFilter(signal.data(), -5);
    EXPECT_EQ(signal, original);
    f.setSamplingRate(96000.0f);
    EXPECT_EQ(f.getSamplingRate(), 96000.0f);
}

TEST(Filter, NamesAreBoundedTo83Characters) {
    CFilter f;
    EXPECT_STREQ(f.getName(), "");
    f.setName("1.47cm");
    EXPECT_STREQ(f.getName(), "1.47cm");
    const std::string hundred(100, 'n');
    f.setName(hundred.c_str());
    EXPECT_EQ(std::string(f.getName()), hundred.substr(0, 83));
    const std::string exact(83, 'e');
    f.setName(exact.c_str());
    EXPECT_EQ(std::string(f.getName()), exact);
    f.setName(nullptr);
    EXPECT_STREQ(f.getName(), "");
}

TEST(FilterCoefficients, SizesArraysAndMissingRates) {
    Messages messages;
    CFilterCoefficients set;
    set.setFilterSizeA(48000.0f, 2);
    set.setFilterSizeB(48000.0f, 3);
    EXPECT_EQ(set.getFilterSizeA(48000.0f), 2);
    EXPECT_EQ(set.getFilterSizeB(48000.0f), 3);
    float* b = set.getCoefficientsB(48000.0f);
    ASSERT_NE(b, nullptr);
    b[0] = 1.5f;
    EXPECT_EQ(set.getCoefficientsB(48000.0f)[0], 1.5f);
    EXPECT_TRUE(messages.all.empty());

    // A missing rate: count 0, a null array and the message on every call.
    EXPECT_EQ(set.getFilterSizeB(44100.0f), 0);
    EXPECT_EQ(set.getCoefficientsB(44100.0f), nullptr);
    EXPECT_EQ(set.getCoefficientsA(44100.0f), nullptr);
    ASSERT_EQ(messages.all.size(), 2u);
    EXPECT_EQ(messages.all[0], "No filter found for sampling rate  44100");
    EXPECT_EQ(messages.all[1], messages.all[0]);

    // Setting a count again replaces the array.
    set.setFilterSizeB(48000.0f, 5);
    EXPECT_EQ(set.getFilterSizeB(48000.0f), 5);
    EXPECT_EQ(set.getCoefficientsB(48000.0f)[0], 0.0f);
    set.setFilterSizeB(48000.0f, -3);
    EXPECT_EQ(set.getFilterSizeB(48000.0f), 0);
}

TEST(FilterCoefficients, RateComesFromTheUpperCasedPath) {
    EXPECT_EQ(CFilterCoefficients::rateFromPath("/cal/mic/w48.flt"), 48000.0f);
    EXPECT_EQ(CFilterCoefficients::rateFromPath("/cal/W44_W96"), 96000.0f);
    EXPECT_EQ(CFilterCoefficients::rateFromPath("/cal/W96_W44"), 96000.0f);
    EXPECT_EQ(CFilterCoefficients::rateFromPath("/cal/Vel176"), 176400.0f);
    EXPECT_EQ(CFilterCoefficients::rateFromPath("/cal/vel88.bin"), 88200.0f);
    EXPECT_EQ(CFilterCoefficients::rateFromPath("/W192/x"), 192000.0f);
    EXPECT_EQ(CFilterCoefficients::rateFromPath("/x/w353"), 352800.0f);
    EXPECT_EQ(CFilterCoefficients::rateFromPath("/x/VEL384"), 384000.0f);
    EXPECT_EQ(CFilterCoefficients::rateFromPath("/x/coefficients.bin"), 0.0f);
    EXPECT_EQ(CFilterCoefficients::rateFromPath(""), 0.0f);
    // Only the first 1024 characters are looked at.
    const std::string longPath = "/x/" + std::string(1100, 'a') + "W48";
    EXPECT_EQ(CFilterCoefficients::rateFromPath(longPath.c_str()), 0.0f);
    const std::string edge = std::string(1021, 'a') + "W48";
    EXPECT_EQ(CFilterCoefficients::rateFromPath(edge.c_str()), 48000.0f);
}

TEST(TolvinFile, GoodFilesLoadBBeforeAUnderTheirRates) {
    ScratchDirectory dir;
    ASSERT_EQ(CFilterCoefficients::rateFromPath(dir.path.c_str()), 0.0f);
    Messages messages;
    CFilterCoefficients set;
    const std::string w48 =
        dir.write("w48", tolvin({0.5f, 0.25f, -0.125f}, {-0.5f, 0.0625f}).bytes);
    set.setTolvinIIRFileName(w48.c_str());
    ASSERT_EQ(set.getFilterSizeA(48000.0f), 2);
    ASSERT_EQ(set.getFilterSizeB(48000.0f), 3);
    EXPECT_EQ(arrayOf(set.getCoefficientsB(48000.0f), 3),
              (std::vector<float>{0.5f, 0.25f, -0.125f}));
    EXPECT_EQ(arrayOf(set.getCoefficientsA(48000.0f), 2), (std::vector<float>{-0.5f, 0.0625f}));

    const std::string both = dir.write("W44_W96.flt", tolvin({2.0f}, {0.25f}).bytes);
    set.setTolvinIIRFileName(both.c_str());
    const std::string vel = dir.write("Vel176", tolvin({1.0f, 2.0f, 3.0f, 4.0f}, {}).bytes);
    set.setTolvinIIRFileName(vel.c_str());
    EXPECT_EQ(set.getFilterSizeB(96000.0f), 1);
    EXPECT_EQ(set.getCoefficientsB(96000.0f)[0], 2.0f);
    EXPECT_EQ(set.getFilterSizeB(176400.0f), 4);
    EXPECT_EQ(set.getFilterSizeA(176400.0f), 0);
    EXPECT_EQ(set.getFilterSizeB(48000.0f), 3); // the rates accumulate
    EXPECT_TRUE(messages.all.empty());

    EXPECT_EQ(set.getFilterSizeB(44100.0f), 0);
    EXPECT_EQ(set.getCoefficientsB(44100.0f), nullptr);
    ASSERT_EQ(messages.all.size(), 1u);
    EXPECT_EQ(messages.all[0], "No filter found for sampling rate  44100");

    // Trailing bytes are ignored; a second file for a rate replaces the first.
    auto longer = tolvin({4.0f, 5.0f}, {0.5f});
    longer.word(0xffffffff).word(0);
    const std::string again = dir.write("again-W48.bin", longer.bytes);
    set.setTolvinIIRFileName(again.c_str());
    EXPECT_EQ(set.getFilterSizeB(48000.0f), 2);
    EXPECT_EQ(set.getFilterSizeA(48000.0f), 1);
    EXPECT_EQ(arrayOf(set.getCoefficientsB(48000.0f), 2), (std::vector<float>{4.0f, 5.0f}));

    // The biggest allowed counts.
    std::vector<float> many(1024);
    for (size_t i = 0; i < many.size(); ++i)
        many[i] = static_cast<float>(i) * 1e-3f;
    const std::string full = dir.write("W192full", tolvin(many, many).bytes);
    set.setTolvinIIRFileName(full.c_str());
    EXPECT_EQ(set.getFilterSizeA(192000.0f), 1024);
    EXPECT_EQ(arrayOf(set.getCoefficientsB(192000.0f), 1024), many);
    EXPECT_EQ(messages.all.size(), 1u);
}

TEST(TolvinFile, LoadedSetDrivesAnIIRFilter) {
    ScratchDirectory dir;
    CFilterCoefficients set;
    const std::string w = dir.write("W48", tolvin({0.5f, 0.25f, -0.125f}, {-0.5f, 0.0625f}).bytes);
    set.setTolvinIIRFileName(w.c_str());
    CIIRFilter filter;
    filter.setCoefficients(&set);
    filter.setSamplingRate(48000.0f);
    auto x = impulse(4);
    filter.doFilter(x.data(), 4);
    const float y1 = 0.25f - (-0.5f * 0.5f);
    const float y2 = (-0.125f - (-0.5f * y1)) - 0.0625f * 0.5f;
    EXPECT_EQ(x[0], 0.5f);
    EXPECT_EQ(x[1], y1);
    EXPECT_EQ(x[2], y2);
}

TEST(TolvinFile, BrokenFilesLoadNothingAndSaySo) {
    ScratchDirectory dir;
    struct Case {
        const char* name;
        TolvinBytes bytes;
    };
    std::vector<float> many(1025, 0.001f);
    const std::vector<Case> cases = {
        {"truncated-W48", tolvin({1.0f, 2.0f, 3.0f}, {0.5f, 0.25f}).cut(1)},
        {"truncated-in-B-W48", tolvin({1.0f, 2.0f, 3.0f}, {0.5f}).cut(10)},
        {"head-only-W48", TolvinBytes().word(0).int16(2).int16(3)},
        {"no-counts-W48", TolvinBytes().word(0).int16(2)},
        {"negative-A-W48",
         TolvinBytes().word(0).int16(-2).int16(1).real(1.0f).real(0.5f).real(0.5f)},
        {"negative-B-W48", TolvinBytes().word(0).int16(0).int16(-1).real(1.0f)},
        {"most-negative-W48", TolvinBytes().word(0).int16(-32768).int16(1).real(1.0f)},
        {"huge-A-W48", tolvin({1.0f}, many)},
        {"huge-B-W48", tolvin(many, {0.5f})},
        {"max-count-W48", TolvinBytes().word(0).int16(32767).int16(32767).real(1.0f)},
        {"nan-W48", tolvin({1.0f, std::numeric_limits<float>::quiet_NaN()}, {0.5f})},
        {"inf-W48", tolvin({1.0f}, {std::numeric_limits<float>::infinity()})},
        {"empty-W48", TolvinBytes()},
    };
    for (const auto& c : cases) {
        Messages messages;
        CFilterCoefficients set;
        // A good file first: a broken one for the same rate must not leave it half-replaced.
        const std::string good =
            dir.write(std::string("good-") + c.name, tolvin({1.0f, 2.0f}, {0.5f}).bytes);
        set.setTolvinIIRFileName(good.c_str());
        ASSERT_EQ(set.getFilterSizeB(48000.0f), 2);
        const std::string path = dir.write(c.name, c.bytes.bytes);
        set.setTolvinIIRFileName(path.c_str());
        EXPECT_EQ(set.getFilterSizeA(48000.0f), 0) << c.name;
        EXPECT_EQ(set.getFilterSizeB(48000.0f), 0) << c.name;
        ASSERT_EQ(messages.all.size(), 1u) << c.name;
        EXPECT_EQ(messages.all[0], invalid(path)) << c.name;
        // The rate passes its signal through.
        CIIRFilter filter;
        filter.setCoefficients(&set);
        filter.setSamplingRate(48000.0f);
        auto x = noise(64, 3);
        const auto original = x;
        filter.doFilter(x.data(), 64);
        EXPECT_EQ(x, original) << c.name;
        EXPECT_EQ(messages.all.size(), 1u) << c.name;
    }
}

TEST(TolvinFile, MissingFileOrUnnamedRate) {
    ScratchDirectory dir;
    Messages messages;
    CFilterCoefficients set;
    const std::string missing = dir.path + "/W96-not-there";
    set.setTolvinIIRFileName(missing.c_str());
    ASSERT_EQ(messages.all.size(), 1u);
    EXPECT_EQ(messages.all[0], "Failed to open Tolvin filter coefficients file: " + missing);
    EXPECT_EQ(set.getFilterSizeA(96000.0f), 0);
    EXPECT_EQ(set.getFilterSizeB(96000.0f), 0);
    // The rate holds empty arrays: no "no filter" message for it.
    EXPECT_NE(set.getCoefficientsB(96000.0f), nullptr);
    EXPECT_EQ(messages.all.size(), 1u);

    const std::string unnamed = dir.write("coefficients.bin", tolvin({1.0f}, {0.5f}).bytes);
    CFilterCoefficients other;
    other.setTolvinIIRFileName(unnamed.c_str());
    ASSERT_EQ(messages.all.size(), 2u);
    EXPECT_EQ(messages.all[1],
              "No sampling rate in the name of Tolvin filter coefficients file: " + unnamed);
    for (float rate :
         {44100.0f, 48000.0f, 88200.0f, 96000.0f, 176400.0f, 192000.0f, 352800.0f, 384000.0f})
        EXPECT_EQ(other.getFilterSizeB(rate), 0);
    other.setTolvinIIRFileName(nullptr);
    EXPECT_EQ(messages.all.size(), 2u);
}
