<!DOCTYPE html>
<html lang="en">
<head>
    <meta charset="UTF-8">
    <meta name="viewport" content="width=device-width, initial-scale=1">
<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the Page title. -->
    <title>My first clip</title>
<style type="text/css">
    body { font-family: sans-serif; line-height: 1.4; margin: 0 auto; max-width: 720px; padding: 0 12px; }
    video { display: block; width: 100%; max-width: 640px; height: auto; border-radius: 10px; background: #000; }
    .desc, .comment { overflow-wrap: anywhere; }
    .comment { margin: 0 0 0.9em; }
    .comment .date { display: block; color: #555; font-size: 0.85em; }
    form textarea { display: block; box-sizing: border-box; width: 100%; min-height: 6em; }
</style>
</head>

<body>
    <main>
        <p><a href="homepage.html">&larr; All videos</a></p>
<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the Page heading. -->
        <h1>My first clip</h1>
        <div class="gallery">
            <video controls="controls" preload="metadata">
<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the File name. -->
                <source src="clip7.mp4" type="video/mp4" /></video>
<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the Individual description. -->
<div class="desc">A longer story</div>
        </div>

        <h2>Comments</h2>
        <div class="comments">
<?php
// t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the 'FileName'.txt value below.
$filename = 'clip7_comments.txt';
$size = is_file($filename) ? filesize($filename) : 0;
$txt = isset($_POST["text"]) && is_string($_POST["text"]) ? $_POST["text"] : null;
if ($txt !== null) {
        $length = preg_match_all('/\r\n|./us', $txt);
        if ($length === false) {
                $length = strlen($txt);
        }
        if ($length > 500) {
                echo "<p class=\"notice\">Sorry, comments are limited to 500 characters.</p>\n";
        } else {
                $date=date("Y-m-d H:i:s");
                $dt = isset($_POST["date"]) && is_string($_POST["date"]) && strlen($_POST["date"]) <= 40 ? $_POST["date"] : "";
                $post = $txt . PHP_EOL . "$date\r\n" . $dt . PHP_EOL;
                if ($size + strlen($post) > 30000) {
                        echo "<p class=\"notice\">Sorry, comments for this entry are full.</p>\n";
                } else {
// t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the 'FileName'_comments.txt value below.
                        file_put_contents("clip7_comments.txt", $post, FILE_APPEND | LOCK_EX);
                }
        }
}
// t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the 'FileName'_comments.txt value below.
if (is_file("clip7_comments.txt")) {
// t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the 'FileName'_comments.txt value below.
        $data = (string) file_get_contents("clip7_comments.txt");
        // A comment is its text, a line break, the server's date and time, CR LF, the posted date field, a line break.
        preg_match_all('/(.*?)\r?\n(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)\r\n[^\n]*\n/s', $data, $comments, PREG_SET_ORDER);
        foreach ($comments as $comment) {
                echo '<p class="comment">' . nl2br(htmlspecialchars($comment[1], ENT_QUOTES | ENT_SUBSTITUTE, 'UTF-8'), false)
                        . '<span class="date">' . $comment[2] . "</span></p>\n";
        }
}
?>
        </div>

        <form method="POST">
            <label for="comment-text">Your comment</label>
            <textarea id="comment-text" name="text" maxlength="500"></textarea>
            <input type="submit" value="Post Comment">
        </form>
    </main>
</body>
</html>
