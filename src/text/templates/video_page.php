<!DOCTYPE html>
<html lang="en">
<head>
    <meta charset="UTF-8">
    <meta name="viewport" content="width=device-width, initial-scale=1">
    <link rel="icon" href="data:,">
<?php ob_start(); ?>
<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the Page title. -->
    <title>p4yPageTitlep5y</title>
<?php
// The page's description for search engines is its title, read from the page as Clipnest keeps it, so the two never
// differ.
$clipnest_head = ob_get_flush();
if (preg_match('~<title>(.*?)</title>~s', $clipnest_head, $clipnest_title) === 1) {
        echo '    <meta name="description" content="' . str_replace('"', '&quot;', trim($clipnest_title[1])) . "\">\n";
}
?>
<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker: Clipnest writes the share tags between it and the next one. -->
<!-- t9b3 end of the share tags. -->
{Head}<style type="text/css">
    body { font-family: sans-serif; line-height: 1.4; margin: 0 auto; max-width: 720px; padding: 0 12px; }
    video { display: block; width: 100%; max-width: 640px; height: auto; border-radius: 10px; background: #000; }
    .desc, .comment { overflow-wrap: anywhere; }
    .comment { margin: 0 0 0.9em; }
    .comment .date { display: block; color: #555; font-size: 0.85em; }
    form textarea { display: block; box-sizing: border-box; width: 100%; min-height: 6em; }
    .away { position: absolute; left: -10000px; width: 1px; height: 1px; overflow: hidden; }
    /* A button a finger can hit: 48 pixels high at the least. */
    form input[type=submit] { min-height: 48px; min-width: 48px; margin-top: 8px; padding: 0 20px; font-size: 1em; }
</style>
</head>

<body>
    <main>
        <p><a href="homepage.html">&larr; All videos</a></p>
<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the Page heading. -->
        <h1>p4yPageTitlep5y</h1>
        <div class="gallery">
            <video controls="controls" preload="none" playsinline>
<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the File name. -->
                <source src="p4yFileNamep5y" type="video/mp4" /></video>
<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the Individual description. -->
<div class="desc">p4yIndividDescripp5y</div>
        </div>

        <h2>Comments</h2>
        <div class="comments">
<?php
// t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the 'FileName'.txt value below.
$filename = 'p4yFileNameLessExtp5y_comments.txt';
// Signs the form's time token and names addresses in the rate-limit file; the server never sends it.
$secret = '{Secret}';
$now = time();
// What the host decided from the desktop: comments hidden (by a hash of the stored comment), threads closed.
$hidden = array();
$closed = false;
if (is_file('{Moderation}')) {
        foreach ((array) file('{Moderation}', FILE_IGNORE_NEW_LINES) as $line) {
                $line = rtrim($line, "\r");
                if (strncmp($line, 'hide ', 5) === 0) {
                        $hidden[substr($line, 5)] = true;
                } elseif ($line === 'close ' . $filename) {
                        $closed = true;
                }
        }
}
// A comment is its text, a line break, the server's date and time, CR LF, a line of the server's own (the poster's
// network mark, then the posted date field), a line break.
function clipnest_comments($data) {
        preg_match_all('/(.*?)\r?\n(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)\r\n([^\n]*)\n/s', $data, $comments, PREG_SET_ORDER);
        return $comments;
}
// Appends a post under the comments file's own lock, the file read under that lock, so no number of posts at once
// takes a thread past its caps: 30,000 bytes as stored, the comments the host hid not counted (the file itself at
// most four times that), and a quarter of it for one network (`$mark`), hidden ones counted, so a network the host
// had to hide cannot fill the thread again. '' when stored, else why not; a write cut short (a full disk) is taken
// back.
function clipnest_store($file, $post, $mark, $hidden) {
        $failed = "Sorry, your comment could not be stored just now. Please try again later.";
        $f = @fopen($file, 'a+');
        if ($f === false) {
                return $failed;
        }
        if (!flock($f, LOCK_EX)) {
                fclose($f);
                return $failed;
        }
        $stat = fstat($f);
        $size = $stat === false ? 0 : $stat['size'];
        rewind($f);
        $data = (string) stream_get_contents($f);
        $shown = strlen($data);
        $mine = 0;
        foreach (clipnest_comments($data) as $comment) {
                $bytes = strlen($comment[0]);
                if (isset($hidden[hash('sha256', $comment[0])])) {
                        $shown -= $bytes;
                }
                if ($comment[3] === $mark || strncmp($comment[3], $mark . ' ', strlen($mark) + 1) === 0) {
                        $mine += $bytes;
                }
        }
        $refusal = '';
        if ($shown + strlen($post) > 30000 || $size + strlen($post) > 120000) {
                $refusal = "Sorry, comments for this entry are full.";
        } elseif ($mine + strlen($post) > 7500) {
                $refusal = "Sorry, your network has posted as much on this video as one network may: a quarter of its comments.";
        } elseif (@fwrite($f, $post) !== strlen($post) || !fflush($f)) {
                ftruncate($f, $size);
                $refusal = $failed;
        }
        flock($f, LOCK_UN);
        fclose($f);
        return $refusal;
}
// Counts a post in the channel's one rate-limit file, under its lock, against each of `$limits` (a network's key =>
// its posts a minute and a day; an IPv6 /48 is counted besides its /64), dropping what is a day old and, past 1000
// rows, the rows whose last post is oldest: so the file stays under 600 KB and a post's reading of it quick. A post
// that passes is stored by `$store` under that lock and counts only when it was stored.
function clipnest_rate_refusal($file, $limits, $now, $store) {
        $f = @fopen($file, 'c+');
        if ($f === false || !flock($f, LOCK_EX)) {
                return "Sorry, comments cannot be posted just now. Please try again later.";
        }
        $rows = array();
        $mine = array();
        while (($line = fgets($f, 4096)) !== false) {
                $fields = explode(' ', trim($line));
                $id = array_shift($fields);
                $times = array();
                foreach ($fields as $t) {
                        if (preg_match('/^\d{1,12}$/', $t) && $now - (int) $t < 86400) {
                                $times[] = (int) $t;
                        }
                }
                if (isset($limits[$id])) {
                        $mine[$id] = $times;
                } elseif ($id !== '' && $times) {
                        $rows[] = $id . ' ' . implode(' ', $times);
                }
        }
        $refusal = '';
        foreach ($limits as $key => $limit) {
                $times = isset($mine[$key]) ? $mine[$key] : array();
                $minute = 0;
                foreach ($times as $t) {
                        $minute += $now - $t < 60 ? 1 : 0;
                }
                if (count($times) >= $limit[1]) {
                        $refusal = "Sorry, no more comments can be posted from your network today. Please come back tomorrow.";
                        break;
                } elseif ($minute >= $limit[0]) {
                        $refusal = "Sorry, that is too many comments in a minute. Please wait a minute, then post again.";
                }
        }
        if ($refusal === '') {
                $refusal = $store();
        }
        if ($refusal !== '') {
                flock($f, LOCK_UN);
                fclose($f);
                return $refusal;
        }
        foreach ($limits as $key => $limit) {
                $times = isset($mine[$key]) ? $mine[$key] : array();
                $times[] = $now;
                $rows[] = $key . ' ' . implode(' ', array_slice($times, -$limit[1]));
        }
        $rows = array_slice($rows, -1000);
        ftruncate($f, 0);
        rewind($f);
        fwrite($f, implode("\n", $rows) . "\n");
        fflush($f);
        flock($f, LOCK_UN);
        fclose($f);
        return $refusal;
}
$notice = '';
$keep = '';
$txt = isset($_POST["text"]) && is_string($_POST["text"]) ? $_POST["text"] : null;
// A bot that fills the field people cannot see, or that never loaded the form, is answered as if its post went in.
$trap = isset($_POST["website"]) && $_POST["website"] !== '';
$token = isset($_POST["t"]) && is_string($_POST["t"]) ? $_POST["t"] : '';
if ($txt !== null && !$trap && $token !== '') {
        $keep = $txt;
        $parts = explode('-', $token, 2);
        $age = strlen($secret) === 64 && count($parts) === 2 && preg_match('/^\d{1,12}$/', $parts[0])
                && hash_equals(hash_hmac('sha256', 'comment ' . $parts[0], $secret), $parts[1]) ? $now - (int) $parts[0] : -1;
        $length = preg_match_all('/\r\n|./us', $txt);
        if ($length === false) {
                $length = strlen($txt);
        }
        $date=date("Y-m-d H:i:s");
        $dt = isset($_POST["date"]) && is_string($_POST["date"]) && strlen($_POST["date"]) <= 40 ? $_POST["date"] : "";
        // One post is one comment: the server's date line is the only line with a CR in it (the text's line breaks
        // are stored as LF alone, the date field keeps none), so nothing posted can end a comment or pass for a date.
        $dt = preg_replace('/[\x00-\x1f\x7f]/', '', $dt);
        $text = str_replace(array("\r\n", "\r"), "\n", $txt);
        if ($closed) {
                $notice = "Sorry, comments on this video are closed.";
        } elseif ($age < 0 || $age > 86400) {
                $notice = "Sorry, this page was loaded too long ago to post from. Please post your comment again.";
        } elseif ($age < 3) {
                $notice = "Sorry, that was too fast. Please wait a few seconds, then post your comment again.";
        } elseif ($length > 500) {
                $notice = "Sorry, comments are limited to 500 characters.";
        } elseif (strlen($text) > 1500) {
                $notice = "Sorry, comments are limited to 1,500 bytes: an emoji takes 4, an accented letter 2.";
        } elseif (preg_match_all('~https?://|www\.~i', $txt . "\n" . $dt) > 2) {
                $notice = "Sorry, a comment may hold at most 2 links.";
        } else {
                $address = isset($_SERVER['REMOTE_ADDR']) ? (string) $_SERVER['REMOTE_ADDR'] : '';
                $bytes = @inet_pton($address);
                if ($bytes !== false && strlen($bytes) === 16 && strncmp($bytes, str_repeat("\0", 10) . "\xff\xff", 12) === 0) {
                        $bytes = substr($bytes, 12);
                }
                $network = $bytes === false ? $address : substr($bytes, 0, strlen($bytes) === 4 ? 3 : 8);
                // The network a thread's share is counted by: an IPv4 /24, an IPv6 /48; a keyed hash, never the address.
                $mark = 'n=' . substr(hash_hmac('sha256', 'poster ' . ($bytes === false ? $address
                        : substr($bytes, 0, strlen($bytes) === 4 ? 3 : 6)), $secret), 0, 16);
                $post = $text . "\n" . "$date\r\n" . $mark . ($dt === '' ? '' : ' ' . $dt) . "\n";
                // A network's posts: 2 a minute, 20 a day; an IPv6 /48, whatever /64s it posts from, 5 and 50.
                $limits = array(substr(hash_hmac('sha256', 'network ' . $network, $secret), 0, 16) => array(2, 20));
                if ($bytes !== false && strlen($bytes) === 16) {
                        $limits[substr(hash_hmac('sha256', 'site ' . substr($bytes, 0, 6), $secret), 0, 16)] = array(5, 50);
                }
                $notice = clipnest_rate_refusal('{Limits}', $limits, $now, function () use ($post, $mark, $hidden) {
// t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the 'FileName'_comments.txt value below.
                        return clipnest_store("p4yFileNameLessExtp5y_comments.txt", $post, $mark, $hidden);
                });
                if ($notice === '') {
                        $keep = '';
                }
        }
}
if ($notice !== '') {
        echo '<p class="notice" role="alert">' . $notice . "</p>\n";
}
// t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the 'FileName'_comments.txt value below.
if (is_file("p4yFileNameLessExtp5y_comments.txt")) {
// t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the 'FileName'_comments.txt value below.
        $data = (string) file_get_contents("p4yFileNameLessExtp5y_comments.txt");
        foreach (clipnest_comments($data) as $comment) {
                if (isset($hidden[hash('sha256', $comment[0])])) {
                        continue;
                }
                echo '<p class="comment">' . nl2br(htmlspecialchars($comment[1], ENT_QUOTES | ENT_SUBSTITUTE, 'UTF-8'), false)
                        . '<span class="date">' . $comment[2] . "</span></p>\n";
        }
}
?>
        </div>

<?php if ($closed) { ?>
        <p class="notice">Comments on this video are closed.</p>
<?php } else { ?>
        <form method="POST">
            <label for="comment-text">Your comment</label>
            <textarea id="comment-text" name="text" maxlength="500"><?php echo htmlspecialchars($keep, ENT_QUOTES | ENT_SUBSTITUTE, 'UTF-8'); ?></textarea>
            <div class="away" aria-hidden="true"><label for="comment-website">Leave this empty</label>
                <input id="comment-website" name="website" type="text" tabindex="-1" autocomplete="off"></div>
            <input type="hidden" name="t" value="<?php echo $now . '-' . hash_hmac('sha256', 'comment ' . $now, $secret); ?>">
            <input type="submit" value="Post Comment">
        </form>
<?php } ?>
    </main>
</body>
</html>