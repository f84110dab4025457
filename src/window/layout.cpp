#include "window/layout.h"

#include <array>
#include <cmath>
#include <cstring>

namespace clipnest::window {

namespace {

constexpr Kind Vp = Kind::Viewport, Sf = Kind::Surface, Sb = Kind::ScrollBar, Fr = Kind::Frame, Lb = Kind::Label,
               Ln = Kind::LineBox, Ml = Kind::MultiBox, Hp = Kind::HelpBox, Bt = Kind::Button, Ck = Kind::CheckBox;
constexpr Face Df = Face::Default, Cb = Face::Cambria, Tr = Face::TimesNewRoman, Ms = Face::MsSansSerif;
constexpr Back G = Back::Green, Gy = Back::Grey, W = Back::White;
constexpr bool B = true, R = false;

// What the buttons do and the switches the check boxes set, named in the table below.
void createFirst(Form& f) {
    f.createOrChangeEntry(EntryPanel::First);
}
void createSecond(Form& f) {
    f.createOrChangeEntry(EntryPanel::Second);
}
void clearFirst(Form& f) {
    f.clearEntryBoxes(EntryPanel::First);
}
void clearSecond(Form& f) {
    f.clearEntryBoxes(EntryPanel::Second);
}
void deleteFirst(Form& f) {
    f.deleteEntry(EntryPanel::First);
}
void deleteSecond(Form& f) {
    f.deleteEntry(EntryPanel::Second);
}
void clearInsert(Form& f) {
    f.clearInsertBoxes();
}
void insertAbove(Form& f) {
    f.insertAboveEntry();
}
void writeRenamePage(Form& f) {
    f.writeRenamePage();
}
void setTitle(Form& f) {
    f.setTitleAndMessage();
}
void quit(Form& f) {
    f.quit();
}
bool& firstHomepageOnly(Controls& c) {
    return c.first.homepageOnly;
}
bool& secondHomepageOnly(Controls& c) {
    return c.second.homepageOnly;
}
bool& renameFileOnly(Controls& c) {
    return c.renameFileOnly;
}

// Labels default to Cambria 12 pt bold; buttons to the platform's 8.25 pt sans serif. Every text box has one font,
// the 13.5 pt sans serif, and the boxes beside long labels stand clear of the labels' words. Every description box
// holds many lines and wraps them, so a description reads whole without scrolling sideways.
constexpr std::array ControlRows = std::to_array<ControlDef>({
    {"picWindow", Vp, "frmScroll", 0, 240, 18015, 12135, "", Df, 8.25, R, G},
    {"VScroll1", Sb, "frmScroll", 18120, 0, 300, 21660, "", Df, 8.25, R, G},
    {"picI_Scroll", Sf, "picWindow", 240, 0, 18660, 26760, "", Df, 8.25, R, G},

    {"Label3", Lb, "picI_Scroll", 6600, 600, 4095, 1335, "Clipnest", Cb, 51.75, B, G},
    {"Label2", Lb, "picI_Scroll", 4080, 1920, 9255, 1215, " App for Channel Hosts", Cb, 45.75, R, G},
    {QuitButton, Bt, "picI_Scroll", 14400, 2880, 2055, 495, "Quit Clipnest", Cb, 14.25, R, G, std::nullopt, quit},
    {"Text14", Hp, "picI_Scroll", 480, 3720, 16815, 3015, "", Ms, 9.75, R, W},
    {"Label1", Lb, "picI_Scroll", 6360, 9000, 5535, 735, "Create a New Entry(s)", Cb, 27.75, R, G},

    {"Frame7", Fr, "picI_Scroll", 3000, 7440, 11655, 3495, "", Df, 8.25, R, G},
    {"Label33", Lb, "Frame7", 2880, 360, 5895, 375, "Enter/Change Homepage Title and Message", Cb, 14.25, B, G},
    {"Label36", Lb, "Frame7", 720, 960, 3015, 375, "Enter Homepage Title", Cb, 14.25, B, G},
    {"Text22", Ln, "Frame7", 4320, 840, 6135, 375, "", Ms, 13.5, R, W, Box::Title},
    {"Label49", Lb, "Frame7", 480, 1320, 5775, 255, "(Leave blank if you don't want to create/change your title.)", Cb,
     9.75, B, G},
    {"Label43", Lb, "Frame7", 720, 1800, 3615, 375, "Enter Homepage Message", Cb, 14.25, B, G},
    {"Text23", Ln, "Frame7", 4320, 1680, 6135, 375, "", Ms, 13.5, R, W, Box::Message},
    {"Label50", Lb, "Frame7", 480, 2160, 5895, 255, "(Leave blank if you don't want to create/change your message.)",
     Cb, 9.75, B, G},
    {"Label48", Lb, "Frame7", 5880, 2400, 4215, 615, "(You can change your title and message anytime you like.)", Cb,
     12, B, G},
    {"Command11", Bt, "Frame7", 2280, 2760, 1935, 495, "Update Title/Message", Ms, 9.75, R, G, std::nullopt, setTitle,
     true},

    {"Frame1", Fr, "picI_Scroll", 120, 11160, 8895, 5535, "", Df, 8.25, R, G},
    {"Label4", Lb, "Frame1", 120, 480, 3015, 855,
     "Enter File Name:         (Please include       extension, mp4, mpg, etc.", Cb, 12, B, G},
    {"Text2", Ln, "Frame1", 3180, 480, 5475, 495, "", Ms, 13.5, R, Gy, Box::FirstName},
    {"Label44", Lb, "Frame1", 3000, 1080, 5055, 300, "File Name must be exact, including case.)", Cb, 12, B, G},
    {"Label7", Lb, "Frame1", 120, 1440, 2055, 1455, "Enter Description for Homepage: ", Cb, 12, B, G},
    {"Text4", Ml, "Frame1", 2520, 1440, 6135, 975, "", Ms, 13.5, R, Gy, Box::FirstHomepageDescription},
    {"Label28", Lb, "Frame1", 120, 2040, 2055, 735,
     "(Leave blank if you don't want to change an existing description.)", Cb, 9, B, G},
    {"Label9", Lb, "Frame1", 120, 2880, 2415, 855, "Enter Description for Individual Page: (Leave blank ", Cb, 12, B,
     G},
    {"Text5", Ml, "Frame1", 2520, 2640, 6135, 975, "", Ms, 13.5, R, Gy, Box::FirstPageDescription},
    {"Label8", Lb, "Frame1", 120, 3720, 4815, 735,
     "if you want the same description on the Individual page as on the Homepage.)", Cb, 12, B, G},
    {"Check1", Ck, "Frame1", 5040, 3840, 190, 375, "", Df, 8.25, R, G, std::nullopt, nullptr, false, firstHomepageOnly},
    {"Label22", Lb, "Frame1", 5400, 3720, 3375, 975,
     "Description - Check the box if you only want to Create/Change the Homepage description and leave the Individual "
     "description unchanged.",
     Cb, 9.75, B, G},
    {"Command5", Bt, "Frame1", 240, 4680, 1695, 495, "Delete Entry on Homepage", Df, 8.25, R, G, std::nullopt,
     deleteFirst, true},
    {"Command3", Bt, "Frame1", 2280, 4800, 1455, 495, "Clear above Boxes", Df, 8.25, R, G, std::nullopt, clearFirst},
    {"Command1", Bt, "Frame1", 6600, 4800, 1695, 495, "Create/Change Entry", Df, 8.25, R, G, std::nullopt, createFirst,
     true},

    {"Frame3", Fr, "picI_Scroll", 9240, 11160, 8895, 5535, "", Df, 8.25, R, G},
    {"Label16", Lb, "Frame3", 120, 480, 2895, 855,
     "Enter File Name:         (Please include       extension, mp4, mpg, etc.", Cb, 12, B, G},
    {"Text7", Ln, "Frame3", 3180, 480, 5475, 495, "", Ms, 13.5, R, Gy, Box::SecondName},
    {"Label45", Lb, "Frame3", 3000, 1080, 4935, 300, "File Name must be exact, including case.)", Cb, 12, B, G},
    {"Label15", Lb, "Frame3", 120, 1440, 2055, 615, "Enter Description for Homepage:", Cb, 12, B, G},
    {"Text6", Ml, "Frame3", 2520, 1440, 6135, 975, "", Ms, 13.5, R, Gy, Box::SecondHomepageDescription},
    {"Label29", Lb, "Frame3", 120, 2040, 2055, 495, "(Leave blank if you don't want to change it.)", Cb, 9, B, G},
    {"Label5", Lb, "Frame3", 120, 2880, 2415, 855, "Enter Description for Individual Page: (Leave blank ", Cb, 12, B,
     G},
    {"Text3", Ml, "Frame3", 2520, 2640, 6135, 975, "", Ms, 13.5, R, Gy, Box::SecondPageDescription},
    {"Label17", Lb, "Frame3", 120, 3720, 5175, 735,
     "if you want the same description on the Individual page as on the Homepage.)", Cb, 12, B, G},
    {"Check2", Ck, "Frame3", 4920, 3840, 190, 375, "", Df, 8.25, R, G, std::nullopt, nullptr, false,
     secondHomepageOnly},
    {"Label23", Lb, "Frame3", 5280, 3720, 3375, 975,
     "Description - Check the box if you only want to Create/Change the Homepage description and leave the Individual "
     "description unchanged.",
     Cb, 9.75, B, G},
    {"Command6", Bt, "Frame3", 240, 4680, 1695, 495, "Delete Entry on Homepage", Df, 8.25, R, G, std::nullopt,
     deleteSecond, true},
    {"Command4", Bt, "Frame3", 2280, 4800, 1455, 495, "Clear above Boxes", Df, 8.25, R, G, std::nullopt, clearSecond},
    {"Command2", Bt, "Frame3", 6480, 4800, 1695, 495, "Create/Change Entry", Df, 8.25, R, G, std::nullopt, createSecond,
     true},

    {"Frame5", Fr, "picI_Scroll", 120, 16920, 8895, 5655, "", Df, 8.25, R, G},
    {"Label27", Lb, "Frame5", 1680, 480, 5055, 495, "Change a file name on the server", Cb, 15.75, B, G},
    {"Label26", Lb, "Frame5", 960, 1080, 7215, 1455,
     "INCLUDE THE FILE EXTENSION IN BOTH BOXES, eg., '.txt'.  This section lets you prepare a change to a file name on "
     "your channel.  Taking your inputs below, a page is created, change_file_name.php and saved to your local "
     "folder.  Upload this page, then call it up in your browser.  The name change will be made on your channel.",
     Cb, 12, B, G},
    {"Label51", Lb, "Frame5", 240, 3000, 1935, 375, "Existing Name:", Cb, 12, B, G},
    {"Text18", Ln, "Frame5", 2160, 2880, 6135, 480, "", Ms, 13.5, R, Gy, Box::RenameFrom},
    {"Label52", Lb, "Frame5", 240, 3720, 1455, 375, "New Name:", Cb, 12, B, G},
    {"Text24", Ln, "Frame5", 2160, 3720, 6135, 495, "", Ms, 13.5, R, Gy, Box::RenameTo},
    {"Command10", Bt, "Frame5", 1320, 4680, 1455, 495, "Create Page for Name Change", Df, 8.25, R, G, std::nullopt,
     writeRenamePage},
    {"chkRenameFileOnly", Ck, "Frame5", 3240, 4740, 190, 375, "", Df, 8.25, R, G, std::nullopt, nullptr, false,
     renameFileOnly},
    {"lblRenameFileOnly", Lb, "Frame5", 3540, 4620, 5055, 735,
     "File only - Check the box to rename just this file.  Unchecked, an entry's video takes its entry, its page and "
     "its comments along.",
     Cb, 9.75, B, G},

    {"Frame6", Fr, "picI_Scroll", 9240, 16920, 8895, 7935, "", Df, 8.25, R, G},
    {"Label40", Lb, "Frame6", 3120, 360, 2535, 495, "Insert an entry", Cb, 15.75, B, G},
    {"Label42", Lb, "Frame6", 360, 720, 8295, 735,
     "(Use this if rather than appending an entry to your Homepage, you want to insert an entry somewhere else on the "
     "list.  If you want to move an entry, delete the entry first, then recreate it here, placing it wherever you "
     "want.)",
     Cb, 9.75, B, G},
    {"Label53", Lb, "Frame6", 240, 1560, 2415, 615, "Enter the File name of the entry you ", Cb, 12, B, G},
    {"Text25", Ln, "Frame6", 2760, 1560, 5295, 495, "", Ms, 13.5, R, Gy, Box::InsertAbove},
    {"Label54", Lb, "Frame6", 240, 2160, 8415, 375,
     "want to appear immediately BELOW your new entry (INCLUDE Extension).", Cb, 12, B, G},
    {"Label34", Lb, "Frame6", 240, 2640, 3015, 855,
     "Enter File Name:         (Please include       extension, .mp4, .mpg, etc.)", Cb, 12, B, G},
    {"Text20", Ln, "Frame6", 3360, 2760, 4935, 495, "", Ms, 13.5, R, Gy, Box::InsertName},
    {"Text19", Ml, "Frame6", 2400, 3720, 6135, 975, "", Ms, 13.5, R, Gy, Box::InsertHomepageDescription},
    {"Label41", Lb, "Frame6", 240, 3840, 2055, 615, "Enter Description for Homepage:", Cb, 12, B, G},
    {"Label37", Lb, "Frame6", 240, 4440, 2055, 495, "(Leave blank if you don't want to change it.)", Cb, 9, B, G},
    {"Text21", Ml, "Frame6", 2640, 5160, 5895, 945, "", Ms, 13.5, R, Gy, Box::InsertPageDescription},
    {"Label39", Lb, "Frame6", 240, 5280, 2295, 855, "Enter Description for Individual Page (Leave blank ", Cb, 12, B,
     G},
    {"Label35", Lb, "Frame6", 240, 6120, 5175, 615,
     "if you want the same description on the Individual page as on the Homepage.)", Cb, 12, B, G},
    {"Command9", Bt, "Frame6", 6000, 6840, 1695, 495, "Create Entry", Df, 8.25, R, G, std::nullopt, insertAbove, true},
    {"Command7", Bt, "Frame6", 480, 7080, 1455, 495, "Clear above Boxes", Df, 8.25, R, G, std::nullopt, clearInsert},
});

constexpr std::array Panels = std::to_array<PanelDef>({
    {Message::HomepageWillBeCreated, "Text15", "picI_Scroll", 7200, 9720, 4455, 2535, 12.75},
    // The invalid-name message stands where the design showed it, in front of the start-up notice.
    {Message::InvalidName, "txtInvalidName", "picI_Scroll", 7200, 9720, 4455, 2535, 12.75},
    {Message::HomepageNotFound, "Text17", "picWindow", 7320, 10080, 4095, 2295, 14.25},
    {Message::EntryNotFound, "Text8", "frmScroll", 7800, 11280, 3975, 1695, 12.75},
    {Message::PageNotFound, "Text11", "frmScroll", 7320, 10560, 4455, 2415, 12.75},
    {Message::NoHomepage, "Text13", "frmScroll", 7320, 10560, 4095, 1815, 12.75},
    {Message::InvalidNames, "Text28", "frmScroll", 8520, 11520, 3615, 495, 12.75},
    {Message::EntryExists, "Text29", "frmScroll", 7680, 11280, 4455, 1575, 12.75},
    // File failures stand on the window itself, where Text11 does, last so in front of every other panel: the
    // panel stays until clicked, so it must be in sight wherever the surface is scrolled to.
    {Message::FileFailure, "txtFileFailure", "frmScroll", 7320, 10560, 4455, 2415, 12.75},
    // Notices stand on the window too, above the failure panel, so both can be read at once.
    {Message::Notice, "txtNotice", "frmScroll", 7320, 7920, 4455, 2415, 12.75},
});

// The help text's paragraphs; the box wraps them to its width.
constexpr std::array HelpParagraphs = std::to_array<const char*>({
    "This app helps you make entries for your channel, and make changes to your entries.  If you are familiar with "
    "working with basic web pages, you can probably make and maintain your Homepage and entries on your own, without "
    "this app.  There are instructions on your channel showing you how to maintain your channel yourself.  In the "
    "sections below, you can enter a title and message for your homepage, and create/change pages for your video "
    "entries.  When an entry is created, your homepage is updated with its file name and description, and an "
    "individual entry page is created for it.  If you want to simply create a video and post its description, that's "
    "easy.  Using the Create/Change entry section, enter the file name in the first box, then add a description in the "
    "homepage box.  If you want the same description on the individual entry page as on the Homepage, leave the "
    "description for the individual page blank and click Create/Change Entry.  Post these files to your channel, and "
    "you're done.  If you want a different/longer description on the individual entry page, enter that description in "
    "the individual entry page box.",
    "When you make a page with the app, a file is created, or modified, locally on your computer, and you will have to "
    "upload this file and update the homepage file on your channel. The pages on your channel all exist as files.  To "
    "create an entry, you have to enter a file name, with its extension.  It isn't necessary to have created the "
    "actual file, or have the file in your folder, but a name with an extension is required.  If you just want to "
    "change an existing individual entry description, leave the homepage description blank, and only the individual "
    "entry description will be changed.  There is currently no way to delete files/pages on your channel.   However, "
    "if you want to make a file/page on your channel inaccessible to viewers, you can do that by changing its name.  "
    "If you want to change the name of a file or individual entry page on your channel at the server level, you can do "
    "that on the Change File/Individual page section on the bottom left of this page.",
    "Enter the current name and the new name, and a page with the name \"change_file_name.php\" will be created and "
    "placed in the same local folder as your other files and pages. You could for example add a series of random "
    "characters to the end of the existing name.  You will then have to post this page to your channel.  When you call "
    "up this page, \"change_file_name.php\", in your browser, the name change will be made and a message returned, "
    "showing it has been completed.  This new name would have to be known by viewers in order to access this renamed "
    "file/page.  If a user bookmarked the page/file with the old name, this bookmark would now fail.  If your concern "
    "is about space being taken up by a large file, you can overwrite the file with a smaller file.  To do this, place "
    "a smaller sized file with the same name as the file you want to replace, and post it to the server.  The existing "
    "file with that name on your channel will be replaced.  The content of your old file is now overwritten and "
    "doesn't exist.",
    "If you don't remember the file name of an entry you want to change, open your local homepage.html file in your "
    "text editor and view the contents.  If you don't have an up to date copy of your homepage, you can open the "
    "homepage on your channel in your browser.  Call up the page, Right-click it, and select \"View page source\".  "
    "This will display all your channel's file names and descriptions.  You can copy the code and paste it into an "
    "empty text page, and save it with an HTML extension.  This will give you a copy to save locally on your computer.",
    "As mentioned above, once you're familiar with working with pages and files, you probably won't need the app "
    "anymore.  This will allow you to more easily customize your pages as you like.  Please recognize some conventions "
    "though, such as keeping the video and comment section where viewers can expect to find them.",
});

} // namespace

int toPixels(int twips) {
    return static_cast<int>(std::lround(twips / static_cast<double>(TwipsPerPixel)));
}

int pointsToPixels(double points) {
    return static_cast<int>(std::lround(points * 96.0 / 72.0));
}

std::span<const ControlDef> controlTable() {
    return ControlRows;
}
const char* panelName(Message panel) {
    for (const PanelDef& def : Panels) {
        if (def.panel == panel) {
            return def.name;
        }
    }
    return "";
}

std::span<const PanelDef> panelTable() {
    return Panels;
}

const ControlDef* findControl(std::string_view name) {
    for (const ControlDef& def : ControlRows) {
        if (name == def.name) {
            return &def;
        }
    }
    return nullptr;
}

std::string helpText() {
    std::string text;
    for (const char* paragraph : HelpParagraphs) {
        text += text.empty() ? "" : "\r\n\r\n";
        text += paragraph;
    }
    return text;
}

} // namespace clipnest::window
