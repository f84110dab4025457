<?php
// t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the 'FileName'.txt value below.
$filename = 'p4yFileNameLessExtp5y_comments.txt';
// Signs the form's token, the notice a refused post is sent back with and the host's replies, and names addresses in
// the rate-limit file; the server never sends it.
$secret = '{Secret}';
$now = time();
// This page's own file name, which every answer to a post sends the visitor back to.
$page = preg_replace('~^.*[/\\\\]~', '', __FILE__);
// What the host decided from the desktop: comments hidden and approved (by a hash of the stored comment), threads
// closed or held for approval ("*": every thread), where and how often to mail a note of a new comment, the
// channel's address and the name its replies go under.
$hidden = array();
$approved = array();
$closed = false;
$held = false;
$notify = '';
$notify_per_day = 20;
$site = '';
$host = '';
if (is_file('{Moderation}')) {
        foreach ((array) file('{Moderation}', FILE_IGNORE_NEW_LINES) as $line) {
                $line = rtrim($line, "\r");
                $fields = explode(' ', $line, 2);
                $value = isset($fields[1]) ? $fields[1] : '';
                if ($fields[0] === 'hide') {
                        $hidden[$value] = true;
                } elseif ($fields[0] === 'approve') {
                        $approved[$value] = true;
                } elseif ($line === 'close ' . $filename) {
                        $closed = true;
                } elseif ($line === 'hold ' . $filename || $line === 'hold *') {
                        $held = true;
                } elseif ($fields[0] === 'notify') {
                        $notify = $value;
                } elseif ($fields[0] === 'notify_per_day' && preg_match('/^\d{1,9}$/', $value)) {
                        $notify_per_day = (int) $value;
                } elseif ($fields[0] === 'site') {
                        $site = $value;
                } elseif ($fields[0] === 'host') {
                        $host = $value;
                }
        }
}
// What a refused post is told, by the code its answer carries back to the page.
$says = array(
        'closed' => "Sorry, comments on this video are closed.",
        'old' => "Sorry, this page was loaded too long ago to post from. Please post your comment again.",
        'fast' => "Sorry, that was too fast. Please wait a few seconds, then post your comment again.",
        'long' => "Sorry, comments are limited to 500 characters.",
        'bytes' => "Sorry, comments are limited to 1,500 bytes: an emoji takes 4, an accented letter 2.",
        'links' => "Sorry, a comment may hold at most 2 links.",
        'name' => "Sorry, names are limited to 40 characters.",
        'full' => "Sorry, comments for this entry are full.",
        'share' => "Sorry, your network has posted as much on this video as one network may: a quarter of its comments.",
        'day' => "Sorry, no more comments can be posted from your network today. Please come back tomorrow.",
        'minute' => "Sorry, that is too many comments in a minute. Please wait a minute, then post again.",
        'busy' => "Sorry, comments cannot be posted just now. Please try again later.",
        'failed' => "Sorry, your comment could not be stored just now. Please try again later.",
        'held' => "Thank you; your comment will appear once the channel's host has read it.");
// A comment is its text, a line break, the server's date and time, CR LF, a line of the server's own, a line break.
function clipnest_comments($data) {
        preg_match_all('/(.*?)\r?\n(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)\r\n([^\n]*)\n/s', $data, $comments, PREG_SET_ORDER);
        return $comments;
}
// The server's line of a comment read from its start: a visitor's (the network mark, whether it was held, the form
// token's id, the name given) or the host's reply (part of its signature). An older line is a visitor's without the
// parts it lacks; what follows is the posted date field.
function clipnest_line($line) {
        $read = array('host' => false, 'mark' => '', 'held' => false, 'token' => '', 'name' => '', 'signed' => '');
        if (preg_match('/^host s=([0-9a-f]{16})/', $line, $m)) {
                $read['host'] = true;
                $read['signed'] = $m[1];
        } elseif (preg_match('/^(n=[0-9a-f]{16})( h=1)?(?: t=([0-9a-f]{16}))?(?: a=([^ ]*))?/', $line, $m)) {
                $read['mark'] = $m[1];
                $read['held'] = isset($m[2]) && $m[2] !== '';
                $read['token'] = isset($m[3]) ? $m[3] : '';
                $read['name'] = isset($m[4]) ? rawurldecode($m[4]) : '';
        }
        return $read;
}
// The first stored comment `$same` takes for the one being posted (a reload of it), or null.
function clipnest_same($data, $same) {
        foreach (clipnest_comments($data) as $comment) {
                if ($same(clipnest_line($comment[3]))) {
                        return $comment;
                }
        }
        return null;
}
// Appends a post under the comments file's own lock, the file read under that lock, so no number of posts at once
// takes a thread past its caps: 30,000 bytes as stored, the comments the host hid not counted (the file itself at
// most four times that), and for a visitor's post a quarter of it for one network (`$mark`), hidden ones counted, so
// a network the host had to hide cannot fill the thread again. A post `$same` finds already stored is not stored
// again. '' when stored, 'again' when it was there already, else why not; a write cut short (a full disk) is taken
// back.
function clipnest_store($file, $post, $mark, $hidden, $same) {
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
                if ($mark !== null && clipnest_line($comment[3])['mark'] === $mark) {
                        $mine += $bytes;
                }
        }
        $refusal = '';
        if (clipnest_same($data, $same) !== null) {
                $refusal = 'again';
        } elseif ($shown + strlen($post) > 30000 || $size + strlen($post) > 120000) {
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
// that passes is stored by `$store` under that lock and counts only when it was stored. A post `$again` finds stored
// already (two clicks at once) is 'again', neither stored nor counted nor refused.
function clipnest_rate_refusal($file, $limits, $now, $again, $store) {
        $f = @fopen($file, 'c+');
        if ($f === false || !flock($f, LOCK_EX)) {
                return "Sorry, comments cannot be posted just now. Please try again later.";
        }
        if ($again()) {
                flock($f, LOCK_UN);
                fclose($f);
                return 'again';
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
// Whether one more note may be mailed today: at most `$per_day` a day for the channel, counted in `$file`
// (`YYYY-MM-DD <count>`); called under the rate-limit file's lock.
function clipnest_mail_due($file, $per_day) {
        $f = @fopen($file, 'c+');
        if ($f === false) {
                return false;
        }
        $today = date('Y-m-d');
        $count = preg_match('/^(\d{4}-\d\d-\d\d) (\d{1,9})\s*$/', (string) fgets($f, 100), $m) && $m[1] === $today
                ? (int) $m[2] : 0;
        $due = $count < $per_day && ftruncate($f, 0) && rewind($f)
                && fwrite($f, $today . ' ' . ($count + 1) . "\n") !== false;
        fclose($f);
        return $due;
}
// A short note to the host of a new comment on `$page`: its first 300 characters and the page's address, nothing of
// who posted it. The subject is encoded words, so no name can put a line into the headers.
function clipnest_mail($to, $page, $text, $site) {
        // Bytes that are not UTF-8 become U+FFFD, as on the page.
        $text = htmlspecialchars_decode(htmlspecialchars($text, ENT_NOQUOTES | ENT_SUBSTITUTE, 'UTF-8'), ENT_NOQUOTES);
        $page = htmlspecialchars_decode(htmlspecialchars($page, ENT_NOQUOTES | ENT_SUBSTITUTE, 'UTF-8'), ENT_NOQUOTES);
        preg_match('/^.{0,300}/us', $text, $start);
        $words = array();
        // At most 10 characters a word: 40 bytes, 68 characters encoded, within an encoded word's 75.
        preg_match_all('/.{1,10}/us', "New comment on " . $page, $pieces);
        foreach ($pieces[0] as $piece) {
                $words[] = '=?UTF-8?B?' . base64_encode($piece) . '?=';
        }
        $body = "New comment on " . $page . "\n\n" . $start[0] . "\n";
        if ($site !== '') {
                $body .= "\n" . rtrim($site, '/') . '/' . rawurlencode($page) . "\n";
        }
        return @mail($to, implode(' ', $words), $body,
                "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit");
}
// Sends the visitor back to this page (`$query` and `$fragment` appended) with a 303, so a reload asks for the page
// instead of posting again; the body is a link for a client that does not follow it.
function clipnest_back($page, $query, $fragment) {
        $location = rawurlencode($page) . $query . $fragment;
        header('Location: ' . $location, true, 303);
        echo '<p><a href="' . htmlspecialchars($location, ENT_QUOTES) . "\">Back to the page</a></p>\n";
        exit;
}
// The query that carries a refusal's code and the text kept back to the page, signed, so that no link can put words
// into the box or the notice. Of a long text the first 2,000 bytes are kept, cut at a character's start.
function clipnest_said($code, $keep, $secret) {
        if (strlen($keep) > 2000) {
                $keep = substr($keep, 0, 2000);
                $cut = preg_match('/[\xC0-\xFF][\x80-\xBF]*$/', $keep, $m) ? strlen($m[0]) : 0;
                $lead = $cut ? ord($m[0][0]) : 0;
                if ($cut && $cut < ($lead >= 0xF0 ? 4 : ($lead >= 0xE0 ? 3 : 2))) {
                        $keep = substr($keep, 0, -$cut);
                }
        }
        return '?said=' . rawurlencode($code) . '&keep=' . rawurlencode($keep) . '&k='
                . substr(hash_hmac('sha256', 'said ' . $code . ' ' . $keep, $secret), 0, 32);
}
$txt = isset($_POST["text"]) && is_string($_POST["text"]) ? $_POST["text"] : null;
$reply = isset($_POST["reply"]) && is_string($_POST["reply"]) ? $_POST["reply"] : null;
if ($reply !== null) {
        // The host's reply, from the desktop: signed with the channel's secret over the thread, a time within ten
        // minutes of now and the text, and taken once. Answered in plain words, which the desktop reads.
        $rt = isset($_POST["rt"]) && is_string($_POST["rt"]) ? $_POST["rt"] : '';
        $rs = isset($_POST["rs"]) && is_string($_POST["rs"]) ? $_POST["rs"] : '';
        $text = str_replace(array("\r\n", "\r"), "\n", $reply);
        $stored = strlen($secret) === 64 && preg_match('/^\d{1,12}$/', $rt) && abs($now - (int) $rt) <= 600
                && trim($text) !== ''
                && hash_equals(hash_hmac('sha256', 'reply ' . $filename . "\n" . $rt . "\n" . $reply, $secret), $rs);
        if ($stored) {
                $signed = substr($rs, 0, 16);
// t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the 'FileName'_comments.txt value below.
                $stored = clipnest_store("p4yFileNameLessExtp5y_comments.txt", $text . "\n" . date("Y-m-d H:i:s") . "\r\nhost s=" . $signed
                        . "\n", null, $hidden, function ($read) use ($signed) {
                        return $read['signed'] === $signed;
                }) === '';
        }
        header('Content-Type: text/plain; charset=UTF-8', true, $stored ? 200 : 403);
        echo $stored ? 'stored' : 'refused';
        exit;
}
// A bot that fills the field people cannot see, or that never loaded the form, is answered as if its post went in.
$trap = isset($_POST["website"]) && $_POST["website"] !== '';
$token = isset($_POST["t"]) && is_string($_POST["t"]) ? $_POST["t"] : '';
if ($txt !== null && ($trap || $token === '')) {
        clipnest_back($page, '', '#comments');
}
if ($txt !== null) {
        // The form's token: the time the page was served, a nonce and their signature; the older token without a
        // nonce is taken too, from a page served before the channel was published again.
        $parts = explode('-', $token);
        $signed = count($parts) === 3 ? 'comment ' . $parts[0] . ' ' . $parts[1] : 'comment ' . $parts[0];
        $age = strlen($secret) === 64 && count($parts) <= 3 && preg_match('/^\d{1,12}$/', $parts[0])
                && (count($parts) === 2 || preg_match('/^[0-9a-f]{16}$/', $parts[1]))
                && hash_equals(hash_hmac('sha256', $signed, $secret), (string) end($parts)) ? $now - (int) $parts[0] : -1;
        $legacy = count($parts) === 2;
        $address = isset($_SERVER['REMOTE_ADDR']) ? (string) $_SERVER['REMOTE_ADDR'] : '';
        $bytes = @inet_pton($address);
        if ($bytes !== false && strlen($bytes) === 16 && strncmp($bytes, str_repeat("\0", 10) . "\xff\xff", 12) === 0) {
                $bytes = substr($bytes, 12);
        }
        $network = $bytes === false ? $address : substr($bytes, 0, strlen($bytes) === 4 ? 3 : 8);
        // The network a thread's share is counted by: an IPv4 /24, an IPv6 /48; a keyed hash, never the address.
        $mark = 'n=' . substr(hash_hmac('sha256', 'poster ' . ($bytes === false ? $address
                : substr($bytes, 0, strlen($bytes) === 4 ? 3 : 6)), $secret), 0, 16);
        // A post is known again by its token's id; an older token, the same for every visitor in its second, only
        // together with the network it came from.
        $id = $age < 0 ? '' : substr(hash('sha256', $token), 0, 16);
        $same = function ($read) use ($id, $legacy, $mark) {
                return $id !== '' && $read['token'] === $id && (!$legacy || $read['mark'] === $mark);
        };
        $stored_as = is_file($filename) ? clipnest_same((string) file_get_contents($filename), $same) : null;
        if ($stored_as !== null) {
                // A reload of a post stored before: answered as that post was.
                $was_held = clipnest_line($stored_as[3])['held'] && !isset($approved[hash('sha256', $stored_as[0])]);
                clipnest_back($page, $was_held ? clipnest_said('held', '', $secret) : '', '#comments');
        }
        $length = preg_match_all('/\r\n|./us', $txt);
        if ($length === false) {
                $length = strlen($txt);
        }
        // A name, its control characters taken out and counted in characters as the text is.
        $name = isset($_POST["name"]) && is_string($_POST["name"])
                ? trim(preg_replace('/[\x00-\x1f\x7f]/', '', $_POST["name"])) : '';
        $name_length = preg_match_all('/./us', $name);
        if ($name_length === false) {
                $name_length = strlen($name);
        }
        $date=date("Y-m-d H:i:s");
        $dt = isset($_POST["date"]) && is_string($_POST["date"]) && strlen($_POST["date"]) <= 40 ? $_POST["date"] : "";
        // One post is one comment: the server's date line is the only line with a CR in it (the text's line breaks
        // are stored as LF alone, the date field keeps none), so nothing posted can end a comment or pass for a date.
        $dt = preg_replace('/[\x00-\x1f\x7f]/', '', $dt);
        // Nor can it pass for a field of the server's line, a name above all.
        if (preg_match('/^[a-z]=/', $dt)) {
                $dt = '';
        }
        $text = str_replace(array("\r\n", "\r"), "\n", $txt);
        $code = '';
        if ($closed) {
                $code = 'closed';
        } elseif ($age < 0 || $age > 86400) {
                $code = 'old';
        } elseif ($age < 3) {
                $code = 'fast';
        } elseif ($length > 500) {
                $code = 'long';
        } elseif (strlen($text) > 1500) {
                $code = 'bytes';
        } elseif (preg_match_all('~https?://|www\.~i', $txt . "\n" . $dt . "\n" . $name) > 2) {
                $code = 'links';
        } elseif ($name_length > 40) {
                $code = 'name';
        } else {
                $post = $text . "\n" . "$date\r\n" . $mark . ($held ? ' h=1' : '') . ' t=' . $id
                        . ($name === '' ? '' : ' a=' . rawurlencode($name)) . ($dt === '' ? '' : ' ' . $dt) . "\n";
                // A network's posts: 2 a minute, 20 a day; an IPv6 /48, whatever /64s it posts from, 5 and 50.
                $limits = array(substr(hash_hmac('sha256', 'network ' . $network, $secret), 0, 16) => array(2, 20));
                if ($bytes !== false && strlen($bytes) === 16) {
                        $limits[substr(hash_hmac('sha256', 'site ' . substr($bytes, 0, 6), $secret), 0, 16)] = array(5, 50);
                }
                $mail = false;
                $valid_notify = $notify !== '' && filter_var($notify, FILTER_VALIDATE_EMAIL) !== false;
                $again = function () use ($filename, $same) {
                        return is_file($filename) && clipnest_same((string) file_get_contents($filename), $same) !== null;
                };
                // Stored, then a note mailed to the host if the day's count allows: counted under the rate-limit lock.
                $store = function () use ($post, $mark, $hidden, $same, $valid_notify, $notify_per_day, &$mail) {
// t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the 'FileName'_comments.txt value below.
                        $refusal = clipnest_store("p4yFileNameLessExtp5y_comments.txt", $post, $mark, $hidden, $same);
                        $mail = $refusal === '' && $valid_notify && clipnest_mail_due('{MailCount}', $notify_per_day);
                        return $refusal;
                };
                $notice = clipnest_rate_refusal('{Limits}', $limits, $now, $again, $store);
                if ($mail) {
                        clipnest_mail($notify, $page, $text, $site);
                }
                if ($notice === '' || $notice === 'again') {
                        clipnest_back($page, $held ? clipnest_said('held', '', $secret) : '', '#comments');
                }
                $code = (string) array_search($notice, $says, true);
        }
        clipnest_back($page, clipnest_said($code, $txt, $secret), '#comment-form');
}
// The notice and the text a refused post was sent back with, when their signature is right.
$notice = '';
$keep = '';
$said = isset($_GET['said']) && is_string($_GET['said']) ? $_GET['said'] : '';
$kept = isset($_GET['keep']) && is_string($_GET['keep']) ? $_GET['keep'] : '';
if ($said !== '' && isset($says[$said]) && strlen($secret) === 64 && isset($_GET['k']) && is_string($_GET['k'])
        && hash_equals(substr(hash_hmac('sha256', 'said ' . $said . ' ' . $kept, $secret), 0, 32), $_GET['k'])) {
        $notice = $says[$said];
        $keep = $kept;
}
?>
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
    .desc, .comment, .neighbours { overflow-wrap: anywhere; }
    .neighbours { display: flex; flex-wrap: wrap; justify-content: space-between; gap: 8px 24px; margin: 1em 0; }
    .neighbours a { display: inline-block; padding: 12px 0; }
    .neighbours a[rel=next] { margin-left: auto; text-align: right; }
    .comment { margin: 0 0 0.9em; }
    .comment .name { display: block; font-weight: bold; }
    .comment.host { border-left: 3px solid #555; padding-left: 8px; }
    .comment .date { display: block; color: #555; font-size: 0.85em; }
    form label { display: block; }
    form input[type=text] { box-sizing: border-box; width: 100%; max-width: 24em; margin-bottom: 8px; }
    form textarea { display: block; box-sizing: border-box; width: 100%; min-height: 6em; }
    .away { position: absolute; left: -10000px; width: 1px; height: 1px; overflow: hidden; }
    /* A button a finger can hit: 48 pixels high at the least. */
    form input[type=submit] { min-height: 48px; min-width: 48px; margin-top: 8px; padding: 0 20px; font-size: 1em; }
</style>
</head>

<body>
    <main>
<?php
// The channel's name is the homepage's title, read when the page is served, so a new title needs no page written
// again: from the homepage's first bytes (its head), always the file beside this page, never a name from the request.
// The homepage is Windows-1252 and this page UTF-8; the title is shown as a browser shows it, escaped again.
$clipnest_channel = '';
$clipnest_home = is_file(__DIR__ . '/homepage.html') ? @fopen(__DIR__ . '/homepage.html', 'rb') : false;
if ($clipnest_home !== false) {
        $clipnest_start = (string) fread($clipnest_home, 8192);
        fclose($clipnest_home);
        if (preg_match('~<title>(.*?)</title>~is', $clipnest_start, $clipnest_found) === 1) {
                $clipnest_channel = preg_replace_callback('/[\x80-\xff]/', function ($byte) {
                        static $low = array(8364, 129, 8218, 402, 8222, 8230, 8224, 8225, 710, 8240, 352, 8249, 338, 141,
                                381, 143, 144, 8216, 8217, 8220, 8221, 8226, 8211, 8212, 732, 8482, 353, 8250, 339, 157,
                                382, 376);
                        $code = ord($byte[0]);
                        return '&#' . ($code < 0xa0 ? $low[$code - 0x80] : $code) . ';';
                }, $clipnest_found[1]);
                $clipnest_channel = trim(preg_replace('/[ \t\r\n\f]+/', ' ', html_entity_decode($clipnest_channel,
                        ENT_QUOTES | ENT_HTML5, 'UTF-8')));
        }
}
if ($clipnest_channel === '') {
        $clipnest_channel = 'All videos';
}
?>
        <p><a href="homepage.html">&larr; <?php echo htmlspecialchars($clipnest_channel, ENT_QUOTES | ENT_SUBSTITUTE, 'UTF-8'); ?></a></p>
<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the Page heading. -->
        <h1>p4yPageTitlep5y</h1>
        <div class="gallery">
            <video controls="controls" preload="none" playsinline>
<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the File name. -->
                <source src="p4yFileNamep5y" type="video/mp4" /></video>
<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the Individual description. -->
<div class="desc">p4yIndividDescripp5y</div>
        </div>
<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker: Clipnest writes the links to the previous and next videos between it and the next one. -->
<!-- t9b3 end of the links to the previous and next videos. -->

        <h2 id="comments">Comments</h2>
<?php
if ($said === 'held' && $notice !== '') {
        echo '        <p class="notice" role="alert">' . $notice . "</p>\n";
}
?>
        <div class="comments">
<?php
// Each comment not hidden, oldest first, under its name: a held one once the host approved it, the host's own
// replies under the channel's name.
function clipnest_escaped($text) {
        return htmlspecialchars($text, ENT_QUOTES | ENT_SUBSTITUTE, 'UTF-8');
}
// t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the 'FileName'_comments.txt value below.
if (is_file("p4yFileNameLessExtp5y_comments.txt")) {
// t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the 'FileName'_comments.txt value below.
        $data = (string) file_get_contents("p4yFileNameLessExtp5y_comments.txt");
        foreach (clipnest_comments($data) as $comment) {
                $hash = hash('sha256', $comment[0]);
                $read = clipnest_line($comment[3]);
                if (isset($hidden[$hash]) || ($read['held'] && !isset($approved[$hash]))) {
                        continue;
                }
                if ($read['host']) {
                        $by = $host === '' ? "The channel's host" : $host;
                } else {
                        $by = $read['name'] === '' ? 'Anonymous' : $read['name'];
                }
                echo '<p class="comment' . ($read['host'] ? ' host' : '') . '"><span class="name">' . clipnest_escaped($by)
                        . '</span>' . nl2br(clipnest_escaped($comment[1]), false) . '<span class="date">' . $comment[2]
                        . "</span></p>\n";
        }
}
?>
        </div>

        <div id="comment-form">
<?php
if ($said !== 'held' && $notice !== '') {
        echo '        <p class="notice" role="alert">' . $notice . "</p>\n";
}
?>
<?php if ($closed) { ?>
        <p class="notice">Comments on this video are closed.</p>
<?php } else { ?>
        <form method="POST">
            <label for="comment-name">Your name (optional)</label>
            <input id="comment-name" name="name" type="text" maxlength="40" autocomplete="nickname">
            <label for="comment-text">Your comment</label>
            <textarea id="comment-text" name="text" maxlength="500"><?php echo clipnest_escaped($keep); ?></textarea>
            <div class="away" aria-hidden="true"><label for="comment-website">Leave this empty</label>
                <input id="comment-website" name="website" type="text" tabindex="-1" autocomplete="off"></div>
<?php
// The nonce only tells apart pages served in one second (the signature makes the token); PHP before 7 has no
// random_bytes.
$nonce = function_exists('random_bytes') ? bin2hex(random_bytes(8))
        : substr(hash_hmac('sha256', uniqid('', true) . mt_rand(), $secret), 0, 16);
?>
            <input type="hidden" name="t" value="<?php echo $now . '-' . $nonce . '-' . hash_hmac('sha256', 'comment ' . $now . ' ' . $nonce, $secret); ?>">
            <input type="submit" value="Post Comment">
        </form>
<?php } ?>
        </div>
    </main>
</body>
</html>