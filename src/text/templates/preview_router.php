<?php
function clipnest_refuse() {
    http_response_code(404);
    header('Content-Type: text/plain');
    echo "Not found\n";
    return true;
}
function clipnest_own_page($root, $name) {
    if ($name === 'change_file_name.php') {
        return true;
    }
    $stem = substr($name, 0, -4);
    if (substr($name, -4) !== '.php' || $stem === '' || strpos($stem, '.') !== false) {
        return false;
    }
    foreach (['homepage.html', 'Homepage.html', 'homepage.htm', 'Homepage.htm'] as $home) {
        $file = $root . '/' . $home;
        if (!is_link($file) && is_file($file)) {
            return strpos((string) file_get_contents($file), '<source src="' . $stem . '.') !== false;
        }
    }
    return false;
}
// Only a request for the preview's own names is answered: a page of another site whose name was made to point at
// 127.0.0.1 (DNS rebinding) must not read the folder nor post through it. The server names them; port by port.
$port = isset($_SERVER['SERVER_PORT']) ? (string) $_SERVER['SERVER_PORT'] : '';
$hosts = array_filter(explode(' ', (string) getenv('CLIPNEST_PREVIEW_HOSTS')));
if (!$hosts) {
    $hosts = ['127.0.0.1:' . $port, 'localhost:' . $port];
}
$host = isset($_SERVER['HTTP_HOST']) ? strtolower((string) $_SERVER['HTTP_HOST']) : '';
if (!in_array($host, $hosts, true)) {
    http_response_code(421);
    header('Content-Type: text/plain');
    echo "Misdirected request: this preview answers only to " . implode(' and ', $hosts) . "\n";
    return true;
}
$root = realpath($_SERVER['DOCUMENT_ROOT']);
$uri = (string) $_SERVER['REQUEST_URI'];
$query = strpos($uri, '?');
$path = rawurldecode($query === false ? $uri : substr($uri, 0, $query));
if ($path === '/') {
    $path = '/homepage.html';
}
$name = (string) substr($path, 1);
if ($root === false || substr($path, 0, 1) !== '/' || $name === '' || $name[0] === '.' ||
    strpbrk($name, "/\\\0") !== false || strpos($name, '..') !== false) {
    return clipnest_refuse();
}
$real = realpath($root . '/' . $name);
// No link is served, wherever it points: one to a page would hand out its PHP.
if ($real === false || is_link($root . '/' . $name) || dirname($real) !== $root || basename($real)[0] === '.' ||
    !is_file($real)) {
    return clipnest_refuse();
}
// What visitors post and what moderation keeps are the server's own, as the channel's .htaccess keeps them on a host.
$private = '/(_comments\.txt|^comment_moderation\.txt|^comment_rate_limits\.txt|^comment_mail_count\.txt)$/i';
if (preg_match($private, $name) || preg_match($private, basename($real))) {
    http_response_code(403);
    header('Content-Type: text/plain');
    echo "Forbidden\n";
    return true;
}
if (preg_match('/\.(php\d*|phtml|phar|pht|phps|inc)$/i', $name)) {
    if ($real !== $root . '/' . $name || !clipnest_own_page($root, $name)) {
        @file_put_contents((string) getenv('CLIPNEST_PREVIEW_NOTES'),
            "preview: " . addcslashes($name, "\0..\37\177\\") . " is not one of the channel's pages, so it was not run (404)\n",
            FILE_APPEND | LOCK_EX);
        return clipnest_refuse();
    }
    return false;
}
$types = ['html' => 'text/html', 'htm' => 'text/html', 'css' => 'text/css', 'js' => 'text/javascript',
          'txt' => 'text/plain', 'xml' => 'application/xml', 'json' => 'application/json',
          'jpg' => 'image/jpeg', 'jpeg' => 'image/jpeg', 'png' => 'image/png', 'gif' => 'image/gif',
          'webp' => 'image/webp', 'svg' => 'image/svg+xml', 'ico' => 'image/x-icon',
          'mp4' => 'video/mp4', 'm4v' => 'video/mp4', 'mov' => 'video/quicktime', 'webm' => 'video/webm',
          'ogv' => 'video/ogg', 'ogg' => 'audio/ogg', 'mp3' => 'audio/mpeg', 'vtt' => 'text/vtt'];
$type = $types[strtolower(pathinfo($name, PATHINFO_EXTENSION))] ?? 'application/octet-stream';
$size = filesize($real);
$from = 0;
$to = $size - 1;
// Pages go out as UTF-8, as many hosts send them: the worst case a host may bring, seen before going live.
ini_set('default_charset', '');
header('Content-Type: ' . $type . ($type === 'text/html' ? '; charset=UTF-8' : ''));
header('Accept-Ranges: bytes');
$range = isset($_SERVER['HTTP_RANGE']) ? trim($_SERVER['HTTP_RANGE']) : '';
// One range is honoured; several, or one that cannot be read, get the whole file, as a server may answer. A number
// of more than 18 digits is refused rather than read as some other number.
if (preg_match('/^bytes=(\d*)-(\d*)$/', $range, $m) && ($m[1] !== '' || $m[2] !== '')) {
    if (strlen($m[1]) > 18 || strlen($m[2]) > 18) {
        $from = $size;
    } elseif ($m[1] === '') {
        $from = max(0, $size - (int) $m[2]);
    } else {
        $from = (int) $m[1];
        $to = $m[2] === '' ? $size - 1 : min((int) $m[2], $size - 1);
    }
    if ($from >= $size || $from > $to || ($m[1] === '' && (int) $m[2] === 0)) {
        http_response_code(416);
        header('Content-Range: bytes */' . $size);
        return true;
    }
    http_response_code(206);
    header('Content-Range: bytes ' . $from . '-' . $to . '/' . $size);
}
header('Content-Length: ' . ($to - $from + 1));
if ($_SERVER['REQUEST_METHOD'] === 'HEAD') {
    return true;
}
$in = fopen($real, 'rb');
fseek($in, $from);
for ($left = $to - $from + 1; $left > 0 && !feof($in); $left -= strlen($chunk)) {
    $chunk = fread($in, min(1048576, $left));
    if ($chunk === false || $chunk === '') {
        break;
    }
    echo $chunk;
}
fclose($in);
return true;
