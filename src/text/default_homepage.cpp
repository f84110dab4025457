#include "text/default_homepage.h"

#include "text/markers.h"
#include "text/text_ops.h"

namespace clipnest {

namespace {

// The page around its values: the head declares the bytes' code page and a phone-wide viewport, and its <title>
// (after its marker) holds the title as the body's heading does.
constexpr std::string_view Head = R"html(<!DOCTYPE html>
<html>
<head>
<meta charset="windows-1252">
<meta name="viewport" content="width=device-width, initial-scale=1">
)html";

constexpr std::string_view AfterHeadTitle = R"html(</title>

        <style type="text/css">


div.gallery {
    height: 250px;
    width: 250px;
  margin: 5px;
  border: 0px solid #ccc;
  display:inline-block;
}

div.gallery:hover {
  border: 1px solid #777;
}

div.gallery2 img {
width: 100%;
<!-- changed from height: auto;  to  height: 150px; -->
    height: auto;
    border-radius: 5px;
    overflow: hidden;
}

div.desc {
  padding: 5px;
  text-align: center;
font-size: 14pt;
}

div.gallery2 {
  border-radius: 25px;
  border: 2px solid #73AD21;
  padding: 20px;
}


    video {
    height: 200px;
    width: 200px;
        margin-top:5px;
        /* Rounded corners (Firefox 5 only) */
        -moz-border-radius:20px;
        -webkit-border-radius:20px;
        border-radius:10px;
        overflow: hidden;
    }


.point {
  font-size: 48pt;
}

.point1 {
  font-size: 18pt;
}

.point2 {
  font-size: 24pt;
}

.point3 {
  font-size: 16pt;
}


.videofile {
  display:inline-block;
  position:relative;
}
.videofile:hover::after {
  content:"";
  background:rgba(255,255,255,0.5);
  position:absolute;
  top:0;
  right:0;
  bottom:0;
  left:0;
}


</style>

<center>

</head>


<body>

<center>


<div class="gallery2">

<br>
<br>
<br>
<br>

<h1 class="point">
)html";

constexpr std::string_view AfterTitle = R"html(
</h1>
<br>

<br>
<h1 class="point2">
)html";

constexpr std::string_view AfterMessage = R"html(
</h1>
<br>
<br>


<font size="2">
<h1 class="point3">Single-click, then double-click for full screen playback.</h1>
<br>


)html";

constexpr std::string_view AfterSample = R"html(


)html";

constexpr std::string_view Tail = R"html(

  </body>
  </html>)html";

} // namespace

std::string buildDefaultHomepage(std::string_view title, std::string_view message, std::string_view sampleEntry) {
    std::string page;
    page.reserve(2048 + 2 * title.size() + message.size() + sampleEntry.size());
    page.append(Head);
    page.append(markers::HeadTitle).append("<title>").append(title);
    page.append(AfterHeadTitle);
    page.append(markers::Title).append(title);
    page.append(AfterTitle);
    page.append(markers::Message).append(message);
    page.append(AfterMessage);
    page.append(sampleEntry);
    page.append(AfterSample);
    page.append(markers::EndA).append("\n").append(markers::EndC);
    page.append(Tail);
    return page;
}

void setHeadTitle(std::string& pageText, std::string_view title) {
    const std::size_t marker = findText(pageText, markers::HeadTitle);
    if (marker == std::string::npos) {
        return;
    }
    constexpr std::string_view Open = "<title>", Close = "</title>";
    const std::size_t open = pageText.find_first_not_of(" \t\r\n", marker + markers::HeadTitle.size());
    if (open == std::string::npos || pageText.compare(open, Open.size(), Open) != 0) {
        return;
    }
    const std::size_t from = open + Open.size();
    const std::size_t close = pageText.find(Close, from);
    if (close == std::string::npos || pageText.find('<', from) != close) {
        return;
    }
    pageText.replace(from, close - from, title);
}

} // namespace clipnest
