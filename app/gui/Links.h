// Every outside address the windows open, in one place.
#pragma once

namespace tovalin::links {

// The maker's mail address: the report of unrecognised products goes here.
inline constexpr char kMakerMail[] = "support@tovalin.example";
// The maker's web site, shown as the link of the about dialog.
inline constexpr char kMakerSite[] = "https://www.tovalin.example/";
// The maker's page for this program (その他 menu).
inline constexpr char kProgramPage[] = "https://www.tovalin.example/tovalin/";
// The maker's support board (その他 menu).
inline constexpr char kSupportBoard[] = "https://www.tovalin.example/bbs/";
// The Japanese Office Update page of the Office web site.
inline constexpr char kOfficeUpdatePage[] =
    "http://office.microsoft.com/ja-jp/officeupdate/default.aspx";

// The subject of the report mail, ready percent-encoded: "[ZEL]Tovalin:GUID追加依頼" in UTF-8.
inline constexpr char kReportMailSubject[] =
    "%5BZEL%5DTovalin%3AGUID%E8%BF%BD%E5%8A%A0%E4%BE%9D%E9%A0%BC";

}  // namespace tovalin::links
