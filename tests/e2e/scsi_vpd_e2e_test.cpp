// The INQUIRY vital product data pages through the real binary: the rows of the SCSI
// "Inquiry Device" menu that reach them on the emulated SAS drive, the requests they
// send and the text shown or saved.
#include "e2e_util.h"
#include "case_names.h"

#include <string>
#include <vector>

#include "emu/emu_trace.h"

namespace {

const std::string kStars = "*************************";
const std::string kPrompt = "  select an option : [1-6 or o/t/s/r/b or q to quit] ";
const char kRefused[] = "    Current data's parse is unsupported or length is illegal\n";

// The demo SAS drive at /dev/sdb (QUMA-K6470BN0400), optionally with the filled-in VPD
// pages of tests/data/vpd and a case's own answers over it.
class VpdE2e : public E2eTest {
protected:
    void UseDrive(bool filled_pages, const std::string& overrides)
    {
        std::string config = TestData("demo/sas_k6470.txt") + ":" + TestData("demo/sas_k6470_scsi.txt");
        if (filled_pages) {
            config += ":" + TestData("vpd/sas_k6470_vpd.txt");
        }
        if (!overrides.empty()) {
            WriteFile("overrides.txt", "drive /dev/sdb\n" + overrides);
            config += ":" + Path("overrides.txt");
        }
        env_["ZV_EMU_CONFIG"] = config;
        env_["ZV_EMU_TRACE"] = Path("trace.txt");
    }

    // The CDBs of the INQUIRY requests after the one that classified the drive.
    std::vector<zvemu::Bytes> PageRequests()
    {
        std::vector<zvemu::Bytes> cdbs;
        for (const zvemu::TraceEntry& e : zvemu::Only(zvemu::ParseTrace(ReadFile("trace.txt")), "sgio", "/dev/sdb")) {
            if (!e.cdb.empty() && e.cdb[0] == 0x12 && e.cdb.size() > 1 && e.cdb[1] == 0x01) {
                cdbs.push_back(e.cdb);
            }
        }
        return cdbs;
    }
};

struct RowCase {
    const char* row;                // of the Inquiry Device submenu
    bool filled_pages;              // tests/data/vpd over the demo drive
    const char* overrides;          // fixture lines for /dev/sdb
    std::vector<const char*> cdbs;  // the VPD requests, in order
    std::string shown;              // what follows the row's prompt, up to the next menu
};

void PrintTo(const RowCase& c, std::ostream* os)
{
    *os << "row " << c.row << (c.filled_pages ? " filled" : " demo") << " " << c.overrides;
}

class VpdRows : public VpdE2e, public ::testing::WithParamInterface<RowCase> {};

TEST_P(VpdRows, RowReadsThePageAndShowsItsText)
{
    const RowCase& c = GetParam();
    UseDrive(c.filled_pages, c.overrides);
    // the drive, "Inquiry Device", the row, back, quit
    RunResult r = Run({}, std::string("1\n2\n") + c.row + "\nb\nq\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const std::string shown = kPrompt + c.shown + "\n  " + kStars + " MENU ";
    EXPECT_NE(r.out.find(shown), std::string::npos) << r.out;
    std::vector<zvemu::Bytes> want;
    for (const char* cdb : c.cdbs) {
        want.push_back(zvemu::Hex(cdb));
    }
    EXPECT_EQ(PageRequests(), want) << ReadFile("trace.txt");
}

const char kExtendedCdb[] = "12 01 86 00 40 00 00 00 00 00";

const std::string kAllNo = "\n"
                           "    Capabilities          \n"
                           "        Logical Block Reference Tag Supported      : No\n"
                           "        Check Logical Block Guard Field            : No\n"
                           "        Check Logical Block Application Tag field  : No\n"
                           "        Check Logical Block Reference Tag Field    : No\n"
                           "        Grouping Function Supported                : No\n"
                           "        Task Priority Supported                    : No\n"
                           "        HEAD OF QUEUE Task Attribute Supported     : No\n"
                           "        ORDERED Task Attribute Supported           : No\n"
                           "        SIMPLE Task Attribute Supported            : No\n"
                           "        A Non-Volatile Cache Supported             : No\n"
                           "        A Volatile Cache Supported                 : No\n";

const std::string kFilledExtended = "\n"
                                    "    Capabilities          \n"
                                    "        Logical Block Reference Tag Supported      : No\n"
                                    "        Check Logical Block Guard Field            : Yes\n"
                                    "        Check Logical Block Application Tag field  : No\n"
                                    "        Check Logical Block Reference Tag Field    : Yes\n"
                                    "        Grouping Function Supported                : No\n"
                                    "        Task Priority Supported                    : No\n"
                                    "        HEAD OF QUEUE Task Attribute Supported     : Yes\n"
                                    "        ORDERED Task Attribute Supported           : Yes\n"
                                    "        SIMPLE Task Attribute Supported            : Yes\n"
                                    "        A Non-Volatile Cache Supported             : No\n"
                                    "        A Volatile Cache Supported                 : Yes\n";

const std::string kFilledDeviceId = "\n"
                                    "    Device Identification:\n"
                                    "        Descriptor[1] for Logical Unit   : \n"
                                    "        ID: 100123456\n"
                                    "        Descriptor[2] for Target Port    : \n"
                                    "        ID: 100123457\n"
                                    "        Descriptor[3] for Target Port    : \n"
                                    "        RELATIVE TARGET PORT: A\n"
                                    "        Descriptor[4] for Target Device  : \n"
                                    "        ID: 100123458\n"
                                    "        Descriptor[5] for Logical Unit   : \n"
                                    "    Current parse is unsupported \n";

const std::string kRotating = "\n"
                              "    VPD INQUIRY: Block device characteristcis page (SBC)\n"
                              "        Nominal medium rotation rate in rotations per minute (i.e., rpm)\n"
                              "        (e.g., 7 200 rpm = 1C20h, 10 000 rpm = 2710h, and 15 000 rpm = 3A98h)\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, VpdRows,
    ::testing::Values(
        // the demo drive's own pages
        RowCase{"2", false, "", {kExtendedCdb}, kAllNo},
        RowCase{"3", false, "", {"12 01 88 00 04 00 00 00 00 00", "12 01 88 00 34 00 00 00 00 00"},
                "\n    SCSI Ports Identification:\n"},
        RowCase{"4", false, "", {"12 01 83 00 04 00 00 00 00 00", "12 01 83 00 10 00 00 00 00 00"},
                "\n"
                "    Device Identification:\n"
                "        Descriptor[1] for Logical Unit   : \n"
                "        ID: 100123456\n"},
        RowCase{"5", false, "", {"12 01 87 00 04 00 00 00 00 00", "12 01 87 00 08 00 00 00 00 00"},
                "\n"
                "    Mode Page Policy:\n"
                "        APPLICABILITY                  POLICY\n"
                "        All mode pages and subpages        Shared                \n"},
        RowCase{"6", false, "", {"12 01 B1 00 04 00 00 00 00 00", "12 01 B1 00 40 00 00 00 00 00"},
                "\n"
                "    VPD INQUIRY: Block device characteristcis page (SBC)\n"
                "        Non-rotating medium (e.g., solid state)\n"},
        // the filled-in pages
        RowCase{"2", true, "", {kExtendedCdb}, kFilledExtended},
        RowCase{"3", true, "", {"12 01 88 00 04 00 00 00 00 00", "12 01 88 00 44 00 00 00 00 00"},
                "\n"
                "    SCSI Ports Identification:\n"
                "        PORT[A]         ID: 100123457\n"
                "        RELATIVE TARGET PORT: A\n"
                "        PORT[B]         ID: 10012345b\n"
                "        RELATIVE TARGET PORT: B\n"},
        RowCase{"4", true, "", {"12 01 83 00 04 00 00 00 00 00", "12 01 83 00 44 00 00 00 00 00"}, kFilledDeviceId},
        RowCase{"5", true, "", {"12 01 87 00 04 00 00 00 00 00", "12 01 87 00 10 00 00 00 00 00"},
                "\n"
                "    Mode Page Policy:\n"
                "        APPLICABILITY                  POLICY\n"
                "        All mode pages and subpages        Shared                \n"
                "        Page : 19h Subpage : 00h    Per initiator port    \n"
                "        Page : 18h Subpage : ffh    Per I_T nexus         \n"},
        RowCase{"6", true, "", {"12 01 B1 00 04 00 00 00 00 00", "12 01 B1 00 40 00 00 00 00 00"}, kRotating},
        // pages the decoders refuse: a designator longer than the page, a policy
        // descriptor cut short, target descriptors running past the bytes that arrived
        RowCase{"4", false, "answer scsi 12 evpd=1 page=83\n  data 00 83 00 0C 01 03 00 09 50 01 4A 41 00 12 34 56\n",
                {"12 01 83 00 04 00 00 00 00 00", "12 01 83 00 10 00 00 00 00 00"}, kRefused},
        RowCase{"5", false, "answer scsi 12 evpd=1 page=87\n  data 00 87 00 06 3F FF 00 00 08 00\n",
                {"12 01 87 00 04 00 00 00 00 00", "12 01 87 00 0A 00 00 00 00 00"}, kRefused},
        RowCase{"3", false,
                "answer scsi 12 evpd=1 page=88\n  data 00 88 00 18 00 00 00 01 00 00 00 00 00 00 00 0C\n"
                "  data 61 94 00 04 00 00 00 01\n",
                {"12 01 88 00 04 00 00 00 00 00", "12 01 88 00 1C 00 00 00 00 00"}, kRefused},
        // a page length that overstates the port list: the four bytes it promises never come,
        // and only the port that arrived is shown
        RowCase{"3", false,
                "answer scsi 12 evpd=1 page=88\n  data 00 88 00 18 00 00 00 01 00 00 00 00 00 00 00 08\n"
                "  data 61 94 00 04 00 00 00 01\n",
                {"12 01 88 00 04 00 00 00 00 00", "12 01 88 00 1C 00 00 00 00 00"},
                "\n"
                "    SCSI Ports Identification:\n"
                "        PORT[A]         RELATIVE TARGET PORT: A\n"}),
    CaseName());

TEST_F(VpdE2e, RowWithBothFilesOnSavesTheAnswerAndItsText)
{
    UseDrive(true, "");
    // the drive, "Inquiry Device", both file toggles, row 4 "[12h] INQUIRY Device", back, quit
    RunResult r = Run({}, "1\n2\no\nt\n4\nb\nq\n");
    EXPECT_EQ(r.status, 0);
    const std::string prefix = "sdb_[12h] INQUIRY Device_";
    std::vector<std::string> files = FilesStartingWith(prefix);
    ASSERT_EQ(files.size(), 2u);
    const std::string stem = files[0].substr(0, files[0].size() - 4);
    const std::string page = std::string("\x00\x83\x00\x40", 4) +
                             std::string("\x01\x03\x00\x08\x50\x01\x4A\x41\x00\x12\x34\x56", 12) +
                             std::string("\x61\x93\x00\x08\x50\x01\x4A\x41\x00\x12\x34\x57", 12) +
                             std::string("\x61\x94\x00\x04\x00\x00\x00\x01", 8) +
                             std::string("\x61\xA3\x00\x08\x50\x01\x4A\x41\x00\x12\x34\x58", 12) +
                             std::string("\x02\x01\x00\x10", 4) + "QUMA    K6470BN0";
    EXPECT_EQ(ReadFile(stem + ".bin"), page);
    // the saved text is the shown one, without the blank line the screen puts before it
    EXPECT_EQ(ReadFile(stem + ".txt"), kFilledDeviceId.substr(1));
    const std::string shown = "    Parsed text data is saved to " + stem + ".txt\n" + kFilledDeviceId + "\n  " + kStars;
    EXPECT_NE(r.out.find(shown), std::string::npos) << r.out;
}

} // namespace
