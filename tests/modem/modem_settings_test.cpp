// TModem construction and settings: defaults, INI reads, the
// round trip through SaveSettings, and hand-edited bad values.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "modem/modem.h"
#include "support/temp_dir.h"
#include "util/ini_file.h"

namespace sorvex {
namespace {

namespace fs = std::filesystem;

struct Settings {
  int32_t Baudrate, Freq0, Freq1;
  TFilterSettings Band, Smoothing;
};

Settings Read(const TModem& m) {
  Settings s{};
  m.GetGeneral(s.Baudrate, s.Freq0, s.Freq1);
  m.GetFilter(TModem::kBandSlot, s.Band);
  m.GetFilter(TModem::kSmoothingSlot, s.Smoothing);
  return s;
}

// As a tuple, so that gtest compares and prints it.
std::tuple<int32_t, int32_t, int32_t, int32_t, int32_t> T(const TFilterSettings& f) {
  return {f.Kind, f.Order, f.Freq1, f.Freq2, f.Ripp};
}

std::vector<double> Response(const TModem& m, int slot) {
  std::vector<double> v(TModem::kResponsePoints, -1.0);
  EXPECT_EQ(m.GetFilterResponse(slot, v.data()), TModem::kResponsePoints);
  return v;
}

// Whatever was loaded, the settings are within what the settings tab's
// controls allow (and the speed usable), and both responses are finite and
// bounded everywhere, whatever the design had to protect itself against.
void ExpectUsable(const TModem& m, const std::string& what) {
  const Settings s = Read(m);
  EXPECT_GE(s.Baudrate, 1) << what;
  EXPECT_LE(s.Baudrate, 8000) << what;
  EXPECT_GE(s.Freq0, 1) << what;
  EXPECT_LE(s.Freq0, 3999) << what;
  EXPECT_GE(s.Freq1, 1) << what;
  EXPECT_LE(s.Freq1, 3999) << what;
  for (const TFilterSettings* f : {&s.Band, &s.Smoothing}) {
    EXPECT_GE(f->Kind, 0) << what;
    EXPECT_LE(f->Kind, 1) << what;
    EXPECT_GE(f->Order, 1) << what;
    EXPECT_LE(f->Order, 32) << what;
    EXPECT_GE(f->Freq1, 1) << what;
    EXPECT_LE(f->Freq1, 4000) << what;
    EXPECT_GE(f->Freq2, 1) << what;
    EXPECT_LE(f->Freq2, 4000) << what;
    EXPECT_GE(f->Ripp, 0) << what;
    EXPECT_LE(f->Ripp, 70) << what;
  }
  for (int slot : {0, 1}) {
    for (double v : Response(m, slot)) {
      ASSERT_TRUE(std::isfinite(v)) << what << " slot " << slot;
      ASSERT_GE(v, 0.0) << what;
      // A Chebyshev response peaks at 1 (odd orders) or 10^(ripple/20) ≤ 31.7.
      ASSERT_LE(v, 32.0) << what;
    }
  }
}

class ModemSettingsTest : public ::testing::Test {
 protected:
  void Put(const std::string& text) { testing::PutFile(path, text); }
  std::string Get() const { return testing::GetFile(path); }

  testing::TTempDir temp{"sorvex_modem_settings"};
  fs::path dir = temp.Path();
  std::string path = temp.File("modem.ini");
};

const TFilterSettings kDefaultFilter{0, 2, 500, 3000, 1};

TEST_F(ModemSettingsTest, MissingFileGivesTheDefaults) {
  const TModem m((dir / "absent.ini").string(), 1024);
  const Settings s = Read(m);
  EXPECT_EQ(s.Baudrate, 200);
  EXPECT_EQ(s.Freq0, 2540);
  EXPECT_EQ(s.Freq1, 2760);
  EXPECT_EQ(T(s.Band), T(kDefaultFilter));
  EXPECT_EQ(T(s.Smoothing), T(kDefaultFilter));
  EXPECT_EQ(m.GetSettingsFileName(), (dir / "absent.ini").string());
  EXPECT_FALSE(fs::exists(dir / "absent.ini"));  // reading creates nothing
}

TEST_F(ModemSettingsTest, ConstructionLeavesReceiverAsleepAndTransmitterIdle) {
  const TModem m(path, 512);
  EXPECT_EQ(m.ReceiverState(), rsSleeping);
  EXPECT_FALSE(m.Transmitting());
  EXPECT_EQ(m.Level(), 0.0);
  EXPECT_EQ(m.GetBlockLength(), 512);
  const TModem tiny(path, 0);  // a block length below 1 is taken as 1
  EXPECT_EQ(tiny.GetBlockLength(), 1);
}

// Without FILTERS both slots are kind 0, order 2, 500..3000 Hz, ripple 1; the
// smoothing filter is then a second-order low-pass at 500 Hz (Freq2 ignored).
TEST_F(ModemSettingsTest, FileWithoutFiltersSectionGivesDefaultFilters) {
  Put("[GENERAL]\nBaudrate=600\nFreq0=1300\nFreq1=2100\n");
  const TModem m(path, 1024);
  const Settings s = Read(m);
  EXPECT_EQ(s.Baudrate, 600);
  EXPECT_EQ(s.Freq0, 1300);
  EXPECT_EQ(s.Freq1, 2100);
  EXPECT_EQ(T(s.Band), T(kDefaultFilter));
  EXPECT_EQ(T(s.Smoothing), T(kDefaultFilter));
  const std::vector<double> smoothing = Response(m, TModem::kSmoothingSlot);
  EXPECT_NEAR(smoothing[0], 1.0, 1e-15);
  EXPECT_NEAR(smoothing[500], std::sqrt(0.5), 1e-12);
  TIirFilter lowPass(SampleRate);
  lowPass.Design(fkButterworth, btLowPass, 2, 500, 0, 1);
  for (int f = 0; f < 4000; f += 37)
    EXPECT_EQ(smoothing[static_cast<size_t>(f)], lowPass.Magnitude(f));
  const std::vector<double> band = Response(m, TModem::kBandSlot);
  EXPECT_EQ(band[0], 0.0);
  EXPECT_NEAR(band[500], std::sqrt(0.5), 1e-12);
  EXPECT_NEAR(band[3000], std::sqrt(0.5), 1e-12);
}

TEST_F(ModemSettingsTest, ValuesReadAsTheirLeadingInteger) {
  Put("[general]\nbaudrate = 1200 baud\nFreq0=2540abc\nFreq1=+2760.9\n"
      "[Filters]\nband_kind=1st\nBAND_ORDER=3 poles\nBand_Freq1=600Hz\nBand_Freq2=2900\n"
      "Band_Ripp=xyz\nSmoothing_Kind=abc\nSmoothing_Order=4\nSmoothing_Freq1=250\n"
      "Smoothing_Freq2=0x10\nSmoothing_Ripp=2\n");
  const Settings s = Read(TModem(path, 1024));
  EXPECT_EQ(s.Baudrate, 1200);
  EXPECT_EQ(s.Freq0, 2540);
  EXPECT_EQ(s.Freq1, 2760);
  EXPECT_EQ(T(s.Band), T(TFilterSettings{1, 3, 600, 2900, 0}));    // "xyz" reads as 0
  EXPECT_EQ(T(s.Smoothing), T(TFilterSettings{0, 4, 250, 1, 2}));  // "0x10" reads as 0, then 1 Hz
}

TEST_F(ModemSettingsTest, AllFourteenValuesRoundTripThroughSaveSettings) {
  TModem a((dir / "absent.ini").string(), 512);
  a.SetGeneral(1200, 1300, 2100);
  a.SetReceiver(rkSensitive);
  a.SetFilter(TModem::kBandSlot, 1, 5, 700, 2900, 2);
  a.SetFilter(TModem::kSmoothingSlot, 1, 7, 333, 1234, 3);
  EXPECT_FALSE(fs::exists(path));  // the setters write nothing
  ASSERT_TRUE(a.SaveSettings(path));
  EXPECT_EQ(a.GetSettingsFileName(), path);
  EXPECT_EQ(Get(),
            "[GENERAL]\nBaudrate=1200\nFreq0=1300\nFreq1=2100\nReceiver=1\n\n[FILTERS]\n"
            "Band_Kind=1\nBand_Order=5\nBand_Freq1=700\nBand_Freq2=2900\nBand_Ripp=2\n"
            "Smoothing_Kind=1\nSmoothing_Order=7\nSmoothing_Freq1=333\nSmoothing_Freq2=1234\n"
            "Smoothing_Ripp=3\n");
  const TModem b(path, 1024);
  const Settings x = Read(a), y = Read(b);
  EXPECT_EQ(y.Baudrate, 1200);
  EXPECT_EQ(y.Freq0, 1300);
  EXPECT_EQ(y.Freq1, 2100);
  EXPECT_EQ(b.GetReceiver(), rkSensitive);
  EXPECT_EQ(T(y.Band), T(TFilterSettings{1, 5, 700, 2900, 2}));
  EXPECT_EQ(T(y.Smoothing), T(TFilterSettings{1, 7, 333, 1234, 3}));
  EXPECT_EQ(T(x.Band), T(y.Band));
  EXPECT_EQ(T(x.Smoothing), T(y.Smoothing));
  for (int slot : {0, 1}) EXPECT_EQ(Response(a, slot), Response(b, slot));
}

TEST_F(ModemSettingsTest, SaveKeepsOtherContentAndReplacesValuesInPlace) {
  Put("; my line\r\n[Other]\r\nx=1\r\n[FILTERS]\r\nSmoothing_Order=9\r\nNote=keep\r\n"
      "[GENERAL]\r\nBaudrate=50\r\n");
  TModem m(path, 1024);
  EXPECT_EQ(Read(m).Baudrate, 50);
  EXPECT_EQ(Read(m).Smoothing.Order, 9);
  m.SetGeneral(2400, 2540, 2760);
  ASSERT_TRUE(m.SaveSettings(path));
  const std::string text = Get();
  EXPECT_EQ(
      text.rfind("; my line\r\n[Other]\r\nx=1\r\n[FILTERS]\r\nSmoothing_Order=9\r\nNote=keep\r\n",
                 0),
      0u)
      << text;
  EXPECT_NE(text.find("[GENERAL]\r\nBaudrate=2400\r\nFreq0=2540\r\nFreq1=2760\r\n"),
            std::string::npos);
  EXPECT_EQ(Read(TModem(path, 1024)).Baudrate, 2400);
}

TEST_F(ModemSettingsTest, SaveToAnUnwritablePathReportsFalse) {
  Put("[GENERAL]\nBaudrate=300\n");
  TModem m(path, 1024);
  // A path below a regular file cannot be created, not even by root.
  const std::string bad = path + "/sub/modem.ini";
  EXPECT_FALSE(m.SaveSettings(bad));
  EXPECT_EQ(m.GetSettingsFileName(), bad);
  EXPECT_EQ(Get(), "[GENERAL]\nBaudrate=300\n");
}

TEST_F(ModemSettingsTest, EmptyNameClearsTheNameAndWritesNothing) {
  Put("[GENERAL]\nBaudrate=300\n");
  TModem m(path, 1024);
  m.SetGeneral(600, 1000, 2000);
  EXPECT_TRUE(m.SaveSettings(""));
  EXPECT_EQ(m.GetSettingsFileName(), "");
  EXPECT_EQ(Get(), "[GENERAL]\nBaudrate=300\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(ModemSettingsTest, SetFilterRedesignsAtOnceWithTheSlotsBandType) {
  TModem m(path, 1024);
  m.SetFilter(TModem::kSmoothingSlot, 0, 2, 1000, 3000, 1);
  EXPECT_NEAR(Response(m, TModem::kSmoothingSlot)[1000], std::sqrt(0.5), 1e-12);
  EXPECT_NEAR(Response(m, TModem::kSmoothingSlot)[0], 1.0, 1e-15);  // a low-pass
  m.SetFilter(TModem::kBandSlot, 0, 4, 2000, 3000, 1);
  EXPECT_EQ(Response(m, TModem::kBandSlot)[0], 0.0);  // a band-pass
  EXPECT_NEAR(Response(m, TModem::kBandSlot)[2000], std::sqrt(0.5), 1e-12);
  EXPECT_FALSE(fs::exists(path));
}

TEST_F(ModemSettingsTest, SlotIndexOutsideZeroOrOneIsIgnored) {
  TModem m(path, 1024);
  m.SetFilter(2, 1, 5, 700, 900, 3);
  m.SetFilter(-1, 1, 5, 700, 900, 3);
  TFilterSettings f{7, 7, 7, 7, 7};
  m.GetFilter(5, f);
  EXPECT_EQ(T(f), T(TFilterSettings{7, 7, 7, 7, 7}));
  std::vector<double> v(4000, -1.0);
  EXPECT_EQ(m.GetFilterResponse(2, v.data()), 0);
  EXPECT_EQ(v[0], -1.0);
  EXPECT_EQ(T(Read(m).Band), T(kDefaultFilter));
  EXPECT_EQ(T(Read(m).Smoothing), T(kDefaultFilter));
}

// One bad hand-edited value at a time: what the file gives must equal what
// the setter gives, and must be usable.
struct BadCase {
  const char* name;
  const char* general;  // GENERAL lines
  const char* filters;  // FILTERS lines
  Settings expected;
};

const Settings kDefaults{200, 2540, 2760, kDefaultFilter, kDefaultFilter};

Settings With(Settings s, int32_t baud, int32_t f0, int32_t f1) {
  s.Baudrate = baud;
  s.Freq0 = f0;
  s.Freq1 = f1;
  return s;
}
Settings WithBand(TFilterSettings f) {
  Settings s = kDefaults;
  s.Band = f;
  return s;
}
Settings WithSmoothing(TFilterSettings f) {
  Settings s = kDefaults;
  s.Smoothing = f;
  return s;
}

const BadCase kBadCases[] = {
    {"BaudrateZero", "Baudrate=0", "", With(kDefaults, 200, 2540, 2760)},
    {"BaudrateNegative", "Baudrate=-1200", "", With(kDefaults, 200, 2540, 2760)},
    {"BaudrateAboveSampleRate", "Baudrate=9600", "", With(kDefaults, 8000, 2540, 2760)},
    {"BaudrateHuge", "Baudrate=99999999999999999999", "", With(kDefaults, 8000, 2540, 2760)},
    {"BaudrateHugeNegative", "Baudrate=-99999999999999999999", "",
     With(kDefaults, 200, 2540, 2760)},
    {"BaudrateText", "Baudrate=fast", "", With(kDefaults, 200, 2540, 2760)},
    {"TonesEqualStay", "Freq0=2000\nFreq1=2000", "", With(kDefaults, 200, 2000, 2000)},
    {"TonesEqualAfterClampAtTop", "Freq0=3999\nFreq1=4000", "", With(kDefaults, 200, 2540, 2760)},
    {"TonesEqualAfterClamp", "Freq0=5000\nFreq1=6000", "", With(kDefaults, 200, 2540, 2760)},
    {"TonesText", "Freq0=low\nFreq1=high", "", With(kDefaults, 200, 2540, 2760)},
    {"TonesSwappedStay", "Freq0=2760\nFreq1=2540", "", With(kDefaults, 200, 2760, 2540)},
    {"ToneZero", "Freq0=0", "", With(kDefaults, 200, 1, 2760)},
    {"ToneHuge", "Freq1=4294967296", "", With(kDefaults, 200, 2540, 3999)},
    {"ToneHugeNegative", "Freq0=-4294967296", "", With(kDefaults, 200, 1, 2760)},
    {"KindNegative", "", "Band_Kind=-1", WithBand({0, 2, 500, 3000, 1})},
    {"KindTwo", "", "Smoothing_Kind=2", WithSmoothing({1, 2, 500, 3000, 1})},
    {"KindHuge", "", "Band_Kind=77777777777", WithBand({1, 2, 500, 3000, 1})},
    {"OrderZero", "", "Band_Order=0", WithBand({0, 1, 500, 3000, 1})},
    {"OrderNegative", "", "Smoothing_Order=-4", WithSmoothing({0, 1, 500, 3000, 1})},
    {"BandOrderThirtyTwoStays", "", "Band_Order=32", WithBand({0, 32, 500, 3000, 1})},
    {"SmoothingOrderThirtyTwoStays", "", "Smoothing_Order=32",
     WithSmoothing({0, 32, 500, 3000, 1})},
    {"BandOrderAbove32", "", "Band_Order=33", WithBand({0, 12, 500, 3000, 1})},
    {"SmoothingOrderAbove32", "", "Smoothing_Order=33", WithSmoothing({0, 25, 500, 3000, 1})},
    {"OrderHuge", "", "Band_Order=99999999999", WithBand({0, 12, 500, 3000, 1})},
    {"BandEdgesEqualStay", "", "Band_Freq1=1000\nBand_Freq2=1000", WithBand({0, 2, 1000, 1000, 1})},
    {"BandEdgesAtTheTopStay", "", "Band_Freq1=3999\nBand_Freq2=4000",
     WithBand({0, 2, 3999, 4000, 1})},
    {"BandEdgesEqualAfterClamp", "", "Band_Freq1=4000\nBand_Freq2=70000",
     WithBand({0, 2, 500, 3000, 1})},
    {"BandEdgeZero", "", "Band_Freq1=0", WithBand({0, 2, 1, 3000, 1})},
    {"BandEdgesSwappedStay", "", "Band_Freq1=3000\nBand_Freq2=500", WithBand({0, 2, 3000, 500, 1})},
    {"CutoffZero", "", "Smoothing_Freq1=0", WithSmoothing({0, 2, 1, 3000, 1})},
    {"CutoffNegative", "", "Smoothing_Freq1=-300", WithSmoothing({0, 2, 1, 3000, 1})},
    {"CutoffAtNyquistStays", "", "Smoothing_Freq1=4000", WithSmoothing({0, 2, 4000, 3000, 1})},
    {"CutoffAboveNyquist", "", "Smoothing_Freq1=5000", WithSmoothing({0, 2, 3999, 3000, 1})},
    {"RippleNegative", "", "Band_Ripp=-3", WithBand({0, 2, 500, 3000, 0})},
    {"RippleSeventyStays", "", "Smoothing_Ripp=70", WithSmoothing({0, 2, 500, 3000, 70})},
    {"RippleAboveSeventy", "", "Smoothing_Ripp=71", WithSmoothing({0, 2, 500, 3000, 30})},
    {"RippleHuge", "", "Band_Ripp=12345678901234", WithBand({0, 2, 500, 3000, 30})},
};

class ModemBadSettingsTest : public ModemSettingsTest,
                             public ::testing::WithParamInterface<BadCase> {};

TEST_P(ModemBadSettingsTest, FileAndSettersGiveTheSameUsableSettings) {
  const BadCase& c = GetParam();
  Put(std::string("[GENERAL]\n") + c.general + "\n[FILTERS]\n" + c.filters + "\n");
  const TModem loaded(path, 1024);
  const Settings s = Read(loaded);
  EXPECT_EQ(s.Baudrate, c.expected.Baudrate);
  EXPECT_EQ(s.Freq0, c.expected.Freq0);
  EXPECT_EQ(s.Freq1, c.expected.Freq1);
  EXPECT_EQ(T(s.Band), T(c.expected.Band));
  EXPECT_EQ(T(s.Smoothing), T(c.expected.Smoothing));
  ExpectUsable(loaded, c.name);

  // The setters apply the same rules to the raw values read from the file.
  TModem set((dir / "absent.ini").string(), 1024);
  const TIniFile ini(path);
  auto raw = [&](const char* section, const std::string& key, int32_t fallback) {
    return ProfileReadInt(ini, section, key, fallback);
  };
  set.SetGeneral(raw("GENERAL", "Baudrate", 200), raw("GENERAL", "Freq0", 2540),
                 raw("GENERAL", "Freq1", 2760));
  const char* names[2] = {"Band", "Smoothing"};
  for (int slot : {0, 1}) {
    const std::string n = names[slot];
    set.SetFilter(slot, raw("FILTERS", n + "_Kind", 0), raw("FILTERS", n + "_Order", 2),
                  raw("FILTERS", n + "_Freq1", 500), raw("FILTERS", n + "_Freq2", 3000),
                  raw("FILTERS", n + "_Ripp", 1));
  }
  const Settings t = Read(set);
  EXPECT_EQ(t.Baudrate, s.Baudrate);
  EXPECT_EQ(t.Freq0, s.Freq0);
  EXPECT_EQ(t.Freq1, s.Freq1);
  EXPECT_EQ(T(t.Band), T(s.Band));
  EXPECT_EQ(T(t.Smoothing), T(s.Smoothing));
  for (int slot : {0, 1}) EXPECT_EQ(Response(set, slot), Response(loaded, slot));

  // What is saved is what is in effect, and it loads back unchanged.
  ASSERT_TRUE(set.SaveSettings((dir / "saved.ini").string()));
  const Settings u = Read(TModem((dir / "saved.ini").string(), 1024));
  EXPECT_EQ(u.Baudrate, s.Baudrate);
  EXPECT_EQ(T(u.Band), T(s.Band));
  EXPECT_EQ(T(u.Smoothing), T(s.Smoothing));
}

INSTANTIATE_TEST_SUITE_P(HandEdited, ModemBadSettingsTest, ::testing::ValuesIn(kBadCases),
                         [](const ::testing::TestParamInfo<BadCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(ModemSettingsTest, SettersClampExtremeArguments) {
  TModem m(path, 1024);
  for (int32_t v : {INT32_MIN, -1, 0, 1, 3999, 4000, INT32_MAX}) {
    m.SetGeneral(v, v, v);
    m.SetFilter(0, v, v, v, v, v);
    m.SetFilter(1, v, v, v, v, v);
    ExpectUsable(m, "value " + std::to_string(v));
  }
  m.SetGeneral(INT32_MAX, INT32_MIN, INT32_MAX);  // no int32 overflow in Freq1 − Freq0
  const Settings s = Read(m);
  EXPECT_EQ(s.Baudrate, 8000);
  EXPECT_EQ(s.Freq0, 1);
  EXPECT_EQ(s.Freq1, 3999);
}

// What the settings tab allows is stored as the user gave it; the filters
// in effect are what the design can build from it.
TEST_F(ModemSettingsTest, ControlRangesAreStoredAsGivenAndTheDesignProtectsItself) {
  TModem m(path, 512);
  m.SetGeneral(600, 1500, 1500);
  m.SetFilter(TModem::kBandSlot, 1, 32, 1000, 1000, 70);
  m.SetFilter(TModem::kSmoothingSlot, 1, 32, 4000, 4000, 70);
  const Settings s = Read(m);
  EXPECT_EQ(s.Freq0, 1500);
  EXPECT_EQ(s.Freq1, 1500);
  EXPECT_EQ(T(s.Band), T(TFilterSettings{1, 32, 1000, 1000, 70}));
  EXPECT_EQ(T(s.Smoothing), T(TFilterSettings{1, 32, 4000, 4000, 70}));

  // Order 12 (band-pass) and 25 (low-pass), ripple 30 dB, the zero-width
  // band 1 Hz wide, the cut-off at 3999 Hz.
  TIirFilter band(SampleRate), smoothing(SampleRate);
  band.Design(fkChebyshev, btBandPass, 12, 1000, 1001, 30.0);
  smoothing.Design(fkChebyshev, btLowPass, 25, 3999, 0, 30.0);
  const std::vector<double> b = Response(m, TModem::kBandSlot);
  const std::vector<double> l = Response(m, TModem::kSmoothingSlot);
  for (int f = 0; f < TModem::kResponsePoints; ++f) {
    ASSERT_EQ(b[static_cast<size_t>(f)], band.Magnitude(f)) << f;
    ASSERT_EQ(l[static_cast<size_t>(f)], smoothing.Magnitude(f)) << f;
  }
  // A Chebyshev band's edges lie at −ripple: −30 dB at 1000 and 1001 Hz.
  EXPECT_NEAR(b[1000], std::pow(10.0, -1.5), 1e-3);
  EXPECT_NEAR(b[1001], std::pow(10.0, -1.5), 1e-3);
  EXPECT_LT(b[990], 1e-3);

  // Equal tones: the discriminator gives 0, never NaN.
  std::vector<double> tone(512);
  for (size_t k = 0; k < tone.size(); ++k) tone[k] = 0.5 * std::sin(0.3 * static_cast<double>(k));
  std::vector<double> out(512, 1.0);
  m.ResetReceiver();
  m.Demodulate(tone.data(), 512, out.data());
  for (double v : out) ASSERT_EQ(v, 0.0);
  // The sensitive receiver too stays finite and finds no telegram.
  m.SetReceiver(rkSensitive);
  m.SetRecordCapacity(8000);
  m.ResetReceiver();
  std::vector<int16_t> frames(2 * 512);
  for (int block = 0; block < 16; ++block) {
    for (size_t k = 0; k < 512; ++k)
      frames[2 * k] =
          static_cast<int16_t>(16000 * std::sin(0.3 * static_cast<double>(block * 512 + k)));
    m.ProcessBlock(0, frames.data(), 512);
  }
  std::vector<TSignalRecord> records(8000);
  const int32_t n = m.CopySignalRecords(records.data());
  for (int32_t i = 0; i < n; ++i) ASSERT_TRUE(std::isfinite(records[static_cast<size_t>(i)].Value));
  EXPECT_TRUE(std::isfinite(m.Level()));
  uint8_t bits[256];
  EXPECT_EQ(m.TakeTelegram(bits, 0), 0);
  m.SetReceiver(rkStandard);

  ASSERT_TRUE(m.SaveSettings(path));
  const Settings u = Read(TModem(path, 512));
  EXPECT_EQ(u.Freq0, 1500);
  EXPECT_EQ(T(u.Band), T(s.Band));
  EXPECT_EQ(T(u.Smoothing), T(s.Smoothing));
}

TEST_F(ModemSettingsTest, EmptyFileGivesTheDefaults) {
  Put("");
  const Settings s = Read(TModem(path, 1024));
  EXPECT_EQ(s.Baudrate, 200);
  EXPECT_EQ(T(s.Band), T(kDefaultFilter));
  EXPECT_EQ(T(s.Smoothing), T(kDefaultFilter));
}

TEST_F(ModemSettingsTest, AllKeysNonNumericGivesUsableSettings) {
  Put("[GENERAL]\nBaudrate=x\nFreq0=y\nFreq1=z\n[FILTERS]\nBand_Kind=a\nBand_Order=b\n"
      "Band_Freq1=c\nBand_Freq2=d\nBand_Ripp=e\nSmoothing_Kind=f\nSmoothing_Order=g\n"
      "Smoothing_Freq1=h\nSmoothing_Freq2=i\nSmoothing_Ripp=j\n");
  const TModem m(path, 1024);
  ExpectUsable(m, "non-numeric");
  const Settings s = Read(m);
  EXPECT_EQ(s.Baudrate, 200);
  EXPECT_EQ(s.Freq0, 2540);  // 0 and 0 → 1 and 1 → equal → the defaults
  EXPECT_EQ(s.Freq1, 2760);
  EXPECT_EQ(T(s.Band), T(TFilterSettings{0, 1, 500, 3000, 0}));  // 1 and 1 → equal → defaults
  EXPECT_EQ(T(s.Smoothing), T(TFilterSettings{0, 1, 1, 1, 0}));
}

TEST_F(ModemSettingsTest, BinaryGarbageLoadsWithoutCrash) {
  std::mt19937 rng(20261208);
  for (int round = 0; round < 200; ++round) {
    std::string text;
    const int length = static_cast<int>(rng() % 2048);
    for (int i = 0; i < length; ++i) {
      // Mostly random bytes, with the characters that matter to an INI
      // reader and to number parsing mixed in.
      static const char kSpecial[] = "[]=\n\r;-+0123456789 GENERALFILTERSBand_OrderFreq";
      text +=
          rng() % 3 == 0 ? kSpecial[rng() % (sizeof kSpecial - 1)] : static_cast<char>(rng() % 256);
    }
    if (round % 4 == 0) text = "[GENERAL]\n" + text;
    if (round % 5 == 0) text += "\n[FILTERS]\nBand_Order=" + text.substr(0, 40);
    Put(text);
    const TModem m(path, 1024);
    ExpectUsable(m, "round " + std::to_string(round));
    if (HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace sorvex
