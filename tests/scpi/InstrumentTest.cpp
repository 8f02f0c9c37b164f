// Program messages against the plain core: the answers, the frames and what the error queue
// holds afterwards.
#include "scpi/Instrument.h"
#include "frames/ScpiLoad.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rz417::scpi {
namespace {

// A line that keeps what it is given, or fails as one that went away.
class RecordingLine : public CommControl
{
public:
    void setCommPort(int16_t) override {}
    void setSettings(const std::string &) override {}
    void setPortOpen(bool) override {}
    void setOutput(const std::string &data) override
    {
        if (failing)
            throw CommError(CommCodes::NotOpen, "the device went away");
        frames.push_back(data);
    }
    std::vector<std::string> frames;
    bool failing = false;
};

// The command tree on the load as rz417ctl serve drives it: the one frame path on a line.
struct Rig
{
    RecordingLine line;
    FramePath path{&line};
    std::string client = "127.0.0.1:5025";
    ScpiLoad load{path, client};
    Instrument instrument{load};
};

struct Row
{
    std::string messages; // run one after the other, split at '\n'
    const char *response; // every answer, in order
    std::vector<std::string> frames;
    std::vector<int> errors; // the queue afterwards, oldest first
};

std::vector<Row> rows()
{
    const std::vector<int> none;
    return {
        // Identity and status.
        {"*IDN?", "QUENDA,RZ-417,0,1.00\n", {}, none},
        {"*idn?", "QUENDA,RZ-417,0,1.00\n", {}, none},
        {"*TST?;*OPC?", "0;1\n", {}, none},
        {"SYST:VERS?", "1999.0\n", {}, none},
        // The STATus subsystem SCPI-1999 asks for: no condition ever sets.
        {"STAT:OPER:ENAB 1234;:STAT:QUES:ENAB #H7FFF\nSTAT:OPER?;:STAT:OPER:COND?;ENAB?;"
         ":STAT:QUES:EVEN?;COND?;ENAB?\nSTAT:PRES;:STAT:OPER:ENAB?;:STAT:QUES:ENAB?",
         "0;0;1234;0;0;32767\n0;0\n",
         {},
         none},
        {"STAT:OPER:ENAB 32768", "", {}, {-222}},
        {"STAT:PRES?", "", {}, {-113}},
        {"system:version?", "1999.0\n", {}, none},
        {"SYST:ERR?", "0,\"No error\"\n", {}, none},
        {"*ESE 36\n*ESE?;*SRE 255;*SRE?", "36;191\n", {}, none},
        {"*ESE 256", "", {}, {-222}},
        {"*ESE #H24;*ESE?", "36\n", {}, none},
        {"*ESE 5V", "", {}, {-138}},
        {"*ESE \"5\"", "", {}, {-104}},
        {"FOO\n*ESR?\n*ESR?", "32\n0\n", {}, {-113}},
        {"VOLT 99\n*ESR?", "16\n", {}, {-222}},
        {"*OPC;*ESR?", "1\n", {}, none},
        {"*ESE 32;FOO\n*STB?", "36\n", {}, {-113}},
        {"FOO\n*CLS;SYST:ERR:COUN?;*ESR?", "0;0\n", {}, none},
        {"*IDN", "", {}, {-113}},
        {"*RST?", "", {}, {-113}},
        {"*IDN? 1", "", {}, {-108}},
        // Setpoints in every mode, short and long forms, any case, optional nodes.
        {"VOLT 12.34", "", {"6204D2"}, none},
        {"SOURce:VOLTage:LEVel:IMMediate:AMPLitude 12.34", "", {"6204D2"}, none},
        {":sour:volt:imm 63", "", {"62189C"}, none},
        {"VOLT 12340MV", "", {"6204D2"}, none},
        {"VOLT 12.34 V", "", {"6204D2"}, none},
        {"VOLT 1.234E1V", "", {"6204D2"}, none},
        {"VOLT 1 e1;VOLT 1e 1;VOLT 1 E -1 V", "", {"6203E8", "6203E8", "62000A"}, none},
        {"VOLT +.5", "", {"620032"}, none},
        {"VOLT 5.", "", {"6201F4"}, none},
        {"CURR 0.5", "", {"6701F4"}, none},
        {"CURR 1", "", {"6703E8"}, none},
        {"CURR 1500MA", "", {"630096"}, none},
        {"CURR 1.5E0A", "", {"630096"}, none},
        {"CURR 12.355", "", {"6304D4"}, none},
        {"POW 200", "", {"6407D0"}, none},
        {"POW 0.0125KW", "", {"64007D"}, none},
        {"RES 999.9", "", {"65270F"}, none},
        {"RES 0.2KOHM", "", {"6507D0"}, none},
        {"RES 1ohm", "", {"65000A"}, none},
        {"VOLT MAX;CURR MIN;POW DEF", "", {"62189C", "670000", "640000"}, none},
        // Rounding to the step from the digits, a half to even.
        {"VOLT 12.345;VOLT 12.355;VOLT 12.3451", "", {"6204D2", "6204D4", "6204D3"}, none},
        {"CURR 0.0005;CURR 0.0015", "", {"670000", "670002"}, none},
        {"VOLT 63.004;VOLT -0.004", "", {"62189C", "620000"}, none},
        {"POW 1E-30", "", {"640000"}, none},
        // Queries: what went out, NR2 with the mode's decimals; the range.
        {"CURR 1.005;CURR?", "1.000\n", {"630064"}, none},
        // A current goes out as the keypad's entry of it: 0.001 A, above 1.000 A its / 10.
        {"CURR 1.000;CURR 1.001;CURR 1.0005", "", {"6703E8", "630064", "6703E8"}, none},
        {"CURR 1.0051;CURR 14.9949;CURR 15.0005", "", {"630064", "6305DC", "6305DC"}, none},
        {"CURR 15.0049", "", {}, {-222}},
        {"CURR 12.355\nCURR?;CURR? MAX;CURR? MIN", "12.360;15.000;0.000\n", {"6304D4"}, none},
        {"VOLT 5;:VOLT?;VOLT? MAXimum", "5.00;63.00\n", {"6201F4"}, none},
        {"RES 47.5\nRES?;POW? MAX", "47.5;200.0\n", {"6501DB"}, none},
        {"VOLT?", "", {}, {-221}},
        {"VOLT? 5", "", {}, {-224}},
        // Out of range: nothing sent.
        {"VOLT 63.01", "", {}, {-222}},
        {"VOLT 63.006", "", {}, {-222}},
        {"VOLT 63.005", "", {"62189C"}, none},
        {"VOLT -1", "", {}, {-222}},
        {"VOLT 1E30", "", {}, {-222}},
        {"VOLT 1E40000", "", {}, {-123}},
        {"VOLT 1E-40000", "", {}, {-123}},
        {std::string("VOLT 1").append(300, '0'), "", {}, {-124}},
        {"VOLT 5A", "", {}, {-131}},
        {"VOLT 5XV", "", {}, {-131}},
        {"VOLT 5VOLTSANDMOREV", "", {}, {-134}},
        {"VOLT ON", "", {}, {-224}},
        {"VOLT \"5\"", "", {}, {-104}},
        {"VOLT #H10", "", {}, {-104}},
        {"VOLT #15ABCDE", "", {}, {-104}},
        {"VOLT (5)", "", {}, {-104}},
        {"VOLT", "", {}, {-109}},
        {"VOLT 5,6", "", {}, {-108}},
        {"VOLT 5 6", "", {}, {-103}},
        {"VOLT 5.5.5", "", {}, {-121}},
        {"VOLT -", "", {}, {-121}},
        {"VOLT 5E+", "", {}, {-121}},
        // Modes: FUNCtion sends the mode's last setpoint again.
        {"FUNC?", "NONE\n", {}, none},
        {"FUNC CURR", "", {}, {-221}},
        {"CURR 2;VOLT 3;FUNC CURRENT;FUNC?", "CURR\n", {"6300C8", "62012C", "6300C8"}, none},
        {"RES 10;SOUR:FUNC:MODE RES;:FUNC?", "RES\n", {"650064", "650064"}, none},
        {"FUNC AMPS", "", {}, {-224}},
        {"FUNC 1", "", {}, {-104}},
        // The input.
        {"INP ON;INP?;OUTP OFF;OUTP?", "1;0\n", {"6600FF", "66FFFF"}, none},
        {"INP:STAT 1;STATE 0;:INPUT?", "0\n", {"6600FF", "66FFFF"}, none},
        {"INP?", "0\n", {}, none},
        {"INP 2;INP 0.4;INP 0.6;INP 0.5;INP -1;INP 1E300",
         "",
         {"6600FF", "66FFFF", "6600FF", "66FFFF", "6600FF", "6600FF"},
         none},
        {"INP MAYBE", "", {}, {-224}},
        {"INP 1V", "", {}, {-138}},
        {"INP", "", {}, {-109}},
        {"INP ON;*RST;INP?", "0\n", {"6600FF", "66FFFF"}, none},
        // The communication watchdog: its state and delay, which bad values leave as they were.
        {"OUTP:PROT:WDOG?;WDOG:DEL?", "0;60\n", {}, none},
        {"OUTP:PROT:WDOG ON;WDOG:DEL 10;:OUTP:PROT:WDOG?;WDOG:DEL?", "1;10\n", {}, none},
        {"OUTPut:PROTection:WDOG:STATe 1;STATe?;STAT OFF;STAT?", "1;0\n", {}, none},
        {"OUTP:PROT:WDOG:DEL 2.5;DEL?;DEL 3.5;DEL?;DEL 1500MS;DEL?;DEL 7 S;DEL?",
         "2;4;2;7\n",
         {},
         none},
        {"OUTP:PROT:WDOG:DEL MIN;DEL?;DEL MAX;DEL?;DEL DEF;DEL?;DEL? MIN;DEL? MAX",
         "1;3600;60;1;3600\n",
         {},
         none},
        {"OUTP:PROT:WDOG:DEL 10\nOUTP:PROT:WDOG:DEL 0\nOUTP:PROT:WDOG:DEL 3601\n"
         "OUTP:PROT:WDOG:DEL abc\nOUTP:PROT:WDOG:DEL -5\nOUTP:PROT:WDOG:DEL 0.4\n"
         "OUTP:PROT:WDOG:DEL 5V\nOUTP:PROT:WDOG:DEL \"5\"\nOUTP:PROT:WDOG:DEL\n"
         "OUTP:PROT:WDOG:DEL? 5\nOUTP:PROT:WDOG MAYBE\nOUTP:PROT:WDOG:DEL?;:OUTP:PROT:WDOG?",
         "10;0\n",
         {},
         {-222, -222, -224, -222, -222, -131, -104, -109, -224, -224}},
        {"OUTP:PROT:WDOG ON;*RST;:OUTP:PROT:WDOG?;WDOG:DEL?", "0;60\n", {"66FFFF"}, none},
        {"OUTP:PROT:WDOG:DEL 5;STAT ON;*RST;:OUTP:PROT:WDOG?;WDOG:DEL?", "0;5\n", {"66FFFF"}, none},
        // Measurements: the line is one-way.
        {"MEAS:VOLT?", "", {}, {-241}},
        {"MEASure:SCALar:CURRent:DC?;*IDN?", "", {}, {-241}},
        {"MEAS:POW?", "", {}, {-241}},
        // The header path of a message and its several answers.
        {"VOLT 5;CURR 1", "", {"6201F4", "6703E8"}, none},
        {":SOUR:VOLT 5;:INP ON", "", {"6201F4", "6600FF"}, none},
        {"SOUR:VOLT 5;CURR 1", "", {"6201F4", "6703E8"}, none},
        {"SOUR:VOLT 5;INP ON", "", {"6201F4"}, {-113}},
        {"SYST:ERR?;VERS?", "0,\"No error\";1999.0\n", {}, none},
        {"SYST:ERR:COUN?;*IDN?;NEXT?", "0;QUENDA,RZ-417,0,1.00;0,\"No error\"\n", {}, none},
        {"*IDN?;;*TST?;", "QUENDA,RZ-417,0,1.00;0\n", {}, none},
        {"  \t", "", {}, none},
        {"*IDN?\r", "QUENDA,RZ-417,0,1.00\n", {}, none},
        // An error stops the message; what ran before it stays done and answered.
        {"VOLT 5;FOO;CURR 1", "", {"6201F4"}, {-113}},
        {"*IDN?;VOLT 99;*TST?", "QUENDA,RZ-417,0,1.00\n", {}, {-222}},
        {"VOLT2 5", "", {}, {-114}},
        {"VOLT1 5", "", {"6201F4"}, none},
        {"VOLTAGES 5", "", {}, {-113}},
        {"ABCDEFGHIJKLMN 5", "", {}, {-112}},
        {"INP ABCDEFGHIJKLMN", "", {}, {-144}},
        {"VOLT$ 5", "", {}, {-101}},
        {"VOLT 5$", "", {}, {-101}},
        {"5 VOLT", "", {}, {-102}},
        {"VOLT:", "", {}, {-102}},
        {"*", "", {}, {-102}},
        {"VOLT 5,", "", {}, {-102}},
        {"VOLT ,5", "", {}, {-102}},
        {"VOLT \"5", "", {}, {-151}},
        {"VOLT #3AB", "", {}, {-161}},
        {"VOLT (5", "", {}, {-171}},
        {"VOLT #X", "", {}, {-102}},
        {"SYST:ERR? 1;*IDN?", "", {}, {-108}},
        // The queue keeps 16 entries, the last one telling that more were lost.
        {"FOO\nFOO\nFOO\nFOO\nFOO\nFOO\nFOO\nFOO\nFOO\nFOO\nFOO\nFOO\nFOO\nFOO\nFOO\nFOO\nFOO\nFOO",
         "",
         {},
         {-113, -113, -113, -113, -113, -113, -113, -113, -113, -113, -113, -113, -113, -113, -113,
          -350}},
    };
}

TEST(Instrument, ProgramMessages)
{
    for (const Row &row : rows()) {
        SCOPED_TRACE(row.messages.substr(0, 80));
        Rig rig;
        Instrument &instrument = rig.instrument;
        RecordingLine &outlet = rig.line;
        ClientState client;
        std::string response;
        std::vector<std::string> frames;
        std::string message;
        const std::string &all = row.messages;
        std::size_t start = 0;
        for (;;) {
            const std::size_t end = all.find('\n', start);
            const Reply reply =
                instrument.execute(std::string_view(all).substr(start, end - start), client);
            response += reply.response;
            frames.insert(frames.end(), reply.frames.begin(), reply.frames.end());
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
        EXPECT_EQ(response, row.response);
        EXPECT_EQ(frames, row.frames);
        EXPECT_EQ(outlet.frames, row.frames);
        std::vector<int> errors;
        for (ScpiError e = client.errors.pop(); e.code != 0; e = client.errors.pop()) {
            errors.push_back(e.code);
            // One printable line, safe inside the quotes of the answer.
            EXPECT_LT(e.text.size(), 300u) << e.text;
            for (const char c : e.text)
                EXPECT_TRUE(c >= 0x20 && c < 0x7F) << e.text;
        }
        EXPECT_EQ(errors, row.errors);
    }
}

TEST(Instrument, ErrorTextsSayWhatIsAllowed)
{
    Rig rig;
    Instrument &instrument = rig.instrument;
    ClientState client;
    const struct
    {
        const char *message;
        const char *answer;
    } cases[] = {
        {"VOLT 63.01", "-222,\"Data out of range;'63.01': 'VOLT' takes 0 to 63.00 V\""},
        {"FOO\"", "-101,\"Invalid character;'\"\"' in the header 'FOO\"\"'\""},
        {"FUNC POW", "-221,\"Settings conflict;no POW setpoint was sent in this run to select "
                     "the mode with: send POW <value> first\""},
        {"RES 5V", "-131,\"Invalid suffix;'V': 'RES' takes OHM with an SI prefix (MOHM, KOHM) "
                   "or no unit\""},
        {"OUTP:PROT:WDOG:DEL 0", "-222,\"Data out of range;'0': 'OUTP:PROT:WDOG:DEL' takes 1 to "
                                 "3600 s, MINimum, MAXimum or DEFault (60 s)\""},
        {"FROB\xCE\xA9?", "-101,\"Invalid character;'\\xCE' in the header 'FROB\\xCE\\xA9?'\""},
    };
    for (const auto &c : cases) {
        instrument.execute(c.message, client);
        EXPECT_EQ(instrument.execute("SYST:ERR?", client).response, std::string(c.answer) + "\n");
    }
}

TEST(Instrument, FailedWriteReportsTheLineAndStopsTheMessage)
{
    Rig rig;
    Instrument &instrument = rig.instrument;
    RecordingLine &outlet = rig.line;
    ClientState client;
    outlet.failing = true;
    Reply reply = instrument.execute("INP ON;VOLT 5", client);
    EXPECT_TRUE(reply.frames.empty());
    EXPECT_TRUE(instrument.inputMayBeOn());
    // The line may have taken part of the on frame, its rest to follow: INP? answers 1.
    EXPECT_EQ(instrument.execute("SYST:ERR?;:INP?;SYST:ERR?", client).response,
              "-240,\"Hardware error;Device not Open: the frame 6600FF (input on) did not go "
              "out\";1;0,\"No error\"\n");
    outlet.failing = false;
    reply = instrument.execute("INP OFF;FUNC?", client);
    EXPECT_EQ(reply.frames, std::vector<std::string>{"66FFFF"});
    EXPECT_FALSE(instrument.inputMayBeOn());
    EXPECT_EQ(reply.response, "NONE\n");
    // An off frame that did not go out leaves the input as it may be, and says so.
    instrument.execute("INP ON", client);
    outlet.failing = true;
    instrument.execute("INP OFF", client);
    EXPECT_TRUE(instrument.inputMayBeOn());
    EXPECT_EQ(instrument.execute("INP?", client).response, "1\n");
}

TEST(Instrument, AWatchdogTripSwitchesTheInputOffAndTellsEveryClient)
{
    const std::string off = "1,\"Watchdog tripped;no SCPI message for 60 s: the input was switched "
                            "off (66FFFF)\"";
    const std::string status = "*STB?;STAT:QUES?;:STAT:QUES:COND?;:STAT:QUES?;*ESR?;:INP?";
    const struct
    {
        const char *before; // the first client's message before the trip
        bool failing;       // the line fails at the trip
        std::vector<std::string> frames;
        std::string error;  // the second client's error
        const char *status; // and its status after the trip, its questionable bit enabled
        const char *after;  // then the first client's message, and its answer
        const char *answer;
    } rows[] = {
        {"INP ON",
         false,
         {"6600FF", "66FFFF"},
         off,
         "12;512;512;0;8;0",
         "STAT:QUES:COND?",
         "512\n"},
        // Nothing may be on: it trips all the same, the frame going out as a bench supply's would.
        {"VOLT 5", false, {"6201F4", "66FFFF"}, off, "12;512;512;0;8;0", "*CLS;STAT:QUES?", "0\n"},
        // The condition holds until the input may be on again.
        {"INP ON",
         false,
         {"6600FF", "66FFFF", "6600FF"},
         off,
         "12;512;512;0;8;0",
         "INP ON;:STAT:QUES:COND?;:INP?",
         "0;1\n"},
        {"INP ON",
         true,
         {"6600FF"},
         "1,\"Watchdog tripped;no SCPI message for 60 s: the frame 66FFFF (input off) did not go "
         "out: Device not Open; the input may still be on\"",
         "12;512;512;0;8;1",
         "INP?",
         "1\n"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.before);
        Rig rig;
        ClientState first, second;
        second.questionableEnable = Watchdog::kQuestionableBit;
        rig.instrument.execute(row.before, first);
        rig.line.failing = row.failing;
        const ScpiError told = rig.instrument.tripWatchdog();
        Instrument::tellTrip(first, told);
        Instrument::tellTrip(second, told);
        rig.line.failing = false;
        EXPECT_EQ(rig.instrument.execute(status, second).response, std::string(row.status) + "\n");
        EXPECT_EQ(rig.instrument.execute("SYST:ERR?;ERR?", second).response,
                  row.error + ";0,\"No error\"\n");
        EXPECT_EQ(rig.instrument.execute(row.after, first).response, row.answer);
        EXPECT_EQ(rig.line.frames, row.frames);
    }
}

TEST(Instrument, TheWatchdogIsDueItsDelayAfterTheLastMessage)
{
    using namespace std::chrono_literals;
    const Watchdog::Time t0{};
    Watchdog dog;
    EXPECT_EQ(dog.due(), std::nullopt) << "off";
    dog.feed(t0 + 5s);
    dog.setOn(true);
    EXPECT_EQ(dog.due(), t0 + 65s) << "on, counting from the message that switched it on";
    dog.feed(t0 + 30s);
    dog.setDelay(10);
    EXPECT_EQ(dog.due(), t0 + 40s);
    dog.tripped(1, true);
    EXPECT_EQ(dog.due(), std::nullopt) << "tripped: nothing to do until the next message";
    dog.feed(t0 + 100s);
    EXPECT_EQ(dog.due(), t0 + 110s) << "still armed";
    dog.tripped(1, false);
    EXPECT_EQ(dog.due(), t0 + 120s) << "a frame that did not go out is tried again";
    dog.arm(3, t0 + 200s);
    EXPECT_EQ(dog.due(), t0 + 203s);
    dog.setOn(false);
    EXPECT_EQ(dog.due(), std::nullopt);
}

TEST(Instrument, ClientsShareTheLoadNotTheirQueues)
{
    Rig rig;
    Instrument &instrument = rig.instrument;
    ClientState first, second;
    instrument.execute("CURR 1.5;FOO", first);
    EXPECT_EQ(instrument.execute("CURR?;SYST:ERR:COUN?", second).response, "1.500;0\n");
    EXPECT_EQ(instrument.execute("SYST:ERR:COUN?", first).response, "1\n");
}

} // namespace
} // namespace rz417::scpi
