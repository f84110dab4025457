#include "text/individual_page.h"

#include "text/markers.h"
#include "text/page_text.h"
#include "text/php_literal.h"
#include "text/text_ops.h"

namespace clipnest {

namespace {

// The page with its origins still as {names}. The PHP block stores a comment in one locked append, refuses texts
// over the form's 500 characters and any post that would take the comments file past 30,000 bytes (a date field
// longer than a date is dropped), prints comments as text and keeps quiet about missing files and fields, so a
// visitor can neither break the page, nor fill the server, nor inject markup into it.
constexpr std::string_view PageWithOrigins = R"html(<html lang="en">
<head>
    <meta charset="UTF-8">
    <meta http-equiv="X-UA-Compatible" content="IE=edge">
    <meta name="viewport" content="width=device-width, initial-scale=1.0">
    <link rel="preconnect" href="{WebFontApiOrigin}">
    <link rel="preconnect" href="{WebFontStaticOrigin}" crossorigin>
    <link href="{WebFontApiOrigin}/css2?family=Roboto:wght@400;500&display=swap" rel="stylesheet">

    <link rel="stylesheet" href="styles3.css">
    <title>Video Host</title>

<style type="text/css">

    video {
    height: 300px;
    width: 300px;
        margin-top:5px;
        /* Rounded corners (Firefox 5 only) */
        -moz-border-radius:20px;
        -webkit-border-radius:20px;
        border-radius:10px;
        overflow: hidden;
    }

</style>

    <meta charset="utf-8" />
    <title>AngularJS Plunker</title>
    <script>document.write('<base href="' + document.location + '" />');</script>
    <script data-require="angular.js@1.5.x" src="{AngularScriptOrigin}/1.5.8/angular.js" data-semver="1.5.8"></script>
    <script src="{ChannelServiceOrigin}/app.js"></script>


</head>

<body>
    <main>

        <left>

       <div class="feed__item">

                        <div class="gallery">
                                    <video controls="controls">
<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the File name. -->
                                            <source src="p4yFileNamep5y" type="video/mp4" /></video>
<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the Individual description. -->
<div class="desc">p4yIndividDescripp5y</div>
    </div>

            </a>


<br>

      <form method = "POST">
          <textarea name="text" maxlength="500"></textarea>
          <input type="submit" value="Post Comment"></input>


      </form>
<font size="4">


<textarea id="text" name="text" cols="120" rows="20" style="width: 400px; height: 470px" readonly>

<?php
// t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the 'FileName'.txt value below.
$filename = 'p4yFileNameLessExtp5y_comments.txt';
$size = is_file($filename) ? filesize($filename) : 0;
$txt = isset($_POST["text"]) && is_string($_POST["text"]) ? $_POST["text"] : null;
if ($txt !== null) {
        $length = preg_match_all('/\r\n|./us', $txt);
        if ($length === false) {
                $length = strlen($txt);
        }
        if ($length > 500) {
                echo "Sorry, comments are limited to 500 characters.\n";
        } else {
                $date=date("Y-m-d H:i:s");
                $dt = isset($_POST["date"]) && is_string($_POST["date"]) && strlen($_POST["date"]) <= 40 ? $_POST["date"] : "";
                $post = $txt . PHP_EOL . "$date\r\n" . $dt . PHP_EOL;
                if ($size + strlen($post) > 30000) {
                        echo "Sorry, comments for this entry are full.";
                } else {
// t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the 'FileName'_comments.txt value below.
                        file_put_contents("p4yFileNameLessExtp5y_comments.txt", $post, FILE_APPEND | LOCK_EX);
                }
        }
}
{
// t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the 'FileName'_comments.txt value below.
if (is_file("p4yFileNameLessExtp5y_comments.txt")) {
// t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the 'FileName'_comments.txt value below.
$data = file_get_contents("p4yFileNameLessExtp5y_comments.txt");
echo htmlspecialchars((string) $data, ENT_QUOTES | ENT_SUBSTITUTE, 'UTF-8');
}
}
?>
</textarea>

</main>
</body>
</html>)html";

} // namespace

std::string_view webFontApiOrigin() {
    return CLIPNEST_WEB_FONT_API_ORIGIN;
}
std::string_view webFontStaticOrigin() {
    return CLIPNEST_WEB_FONT_STATIC_ORIGIN;
}
std::string_view angularScriptOrigin() {
    return CLIPNEST_ANGULAR_SCRIPT_ORIGIN;
}
std::string_view channelServiceOrigin() {
    return CLIPNEST_CHANNEL_SERVICE_ORIGIN;
}

std::string buildIndividualPageTemplate() {
    std::string page(PageWithOrigins);
    replaceAll(page, "{WebFontApiOrigin}", webFontApiOrigin());
    replaceAll(page, "{WebFontStaticOrigin}", webFontStaticOrigin());
    replaceAll(page, "{AngularScriptOrigin}", angularScriptOrigin());
    replaceAll(page, "{ChannelServiceOrigin}", channelServiceOrigin());
    return page;
}

void fillFileName(std::string& pageText, std::string_view fileName) {
    replaceAll(pageText, markers::FileNameToken, asciiWithReferences(fileName));
}

void fillFileNameLessExt(std::string& pageText, std::string_view fileNameLessExt) {
    // One pass that looks at the character before each token: a quote opens the single-quoted $filename literal,
    // everything else is a double-quoted literal. A name that itself holds the token is inserted once.
    const std::string_view token = markers::FileNameLessExtToken;
    const std::string inSingle = phpSingleQuoted(fileNameLessExt);
    const std::string inDouble = phpDoubleQuoted(fileNameLessExt);
    std::string out;
    out.reserve(pageText.size());
    std::size_t done = 0;
    for (std::size_t pos = pageText.find(token); pos != std::string::npos; pos = pageText.find(token, done)) {
        out.append(pageText, done, pos - done);
        out.append(pos > 0 && pageText[pos - 1] == '\'' ? inSingle : inDouble);
        done = pos + token.size();
    }
    out.append(pageText, done);
    pageText = std::move(out);
}

void fillIndividualPage(std::string& pageText, std::string_view fileName, std::string_view fileNameLessExt,
                        std::string_view individDescrip) {
    fillFileName(pageText, fileName);
    replaceAll(pageText, markers::IndividDescripToken, individDescrip);
    fillFileNameLessExt(pageText, fileNameLessExt);
}

} // namespace clipnest
