<?php
// What the PHP tests share: the pages, made once per run by the builders Clipnest writes them with (the program
// CLIPNEST_MAKE_PAGES names), a channel folder of copies for each test, and a request run as the server runs a page,
// one PHP process each.
declare(strict_types=1);

const SECRET = 'cccccccccccccccccccccccccccccccccccccccccccccccccccccccccccccccc';

final class Pages
{
    private static ?string $folder = null;

    public static function folder(): string
    {
        if (self::$folder === null) {
            $maker = (string) getenv('CLIPNEST_MAKE_PAGES');
            if ($maker === '' || !is_executable($maker)) {
                throw new RuntimeException('CLIPNEST_MAKE_PAGES names no program that makes the pages');
            }
            $folder = Channel::temporaryFolder();
            exec(escapeshellarg($maker) . ' ' . escapeshellarg($folder) . ' ' . SECRET . ' 2>&1', $out, $status);
            if ($status !== 0) {
                throw new RuntimeException('the pages were not made: ' . implode("\n", $out));
            }
            register_shutdown_function(static fn () => Channel::removeFolder($folder));
            self::$folder = $folder;
        }
        return self::$folder;
    }
}

final class Response
{
    // The answer that sent the visitor here, when this is the page a post was sent back to.
    public ?Response $answer = null;

    public function __construct(public string $body, public string $errors)
    {
    }

    // Where an answer sends the visitor back to, as its link says ('' for a page).
    public function location(): string
    {
        return preg_match('~^<p><a href="([^"]*)">Back to the page</a></p>\n\z~', $this->body, $m)
            ? htmlspecialchars_decode($m[1], ENT_QUOTES) : '';
    }

    // The notice the page gives, '' without one.
    public function notice(): string
    {
        return preg_match('~<p class="notice" role="alert">([^<]*)</p>~', $this->body, $m) ? $m[1] : '';
    }

    // What the comment box holds ('?' without a box).
    public function kept(): string
    {
        return preg_match('~<textarea[^>]*>([^<]*)</textarea>~', $this->body, $m) ? $m[1] : '?';
    }

    // The form's time token.
    public function token(): string
    {
        return preg_match('~name="t" value="([0-9a-f-]+)"~', $this->body, $m) ? $m[1] : '';
    }

    // The comments shown, each as printed (escaped, "<br>" at line breaks).
    public function shown(): array
    {
        return array_column($this->comments(), 2);
    }

    // The names the comments are shown under, as printed.
    public function names(): array
    {
        return array_column($this->comments(), 1);
    }

    // Each comment shown: [whether it is shown as the host's, its name, its text, its date], as printed.
    public function comments(): array
    {
        preg_match_all('~<p class="comment( host)?"><span class="name">([^<]*)</span>(.*?)<span class="date">'
            . '(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)</span></p>~s', $this->body, $m, PREG_SET_ORDER);
        return array_map(fn ($c) => [$c[1] !== '', $c[2], $c[3], $c[4]], $m);
    }
}

// A channel folder of its own with copies of some of the pages, removed at the end.
final class Channel
{
    public string $dir;
    // More of PHP's settings for the pages run here, `-d` name=value each.
    public array $settings = [];

    public function __construct(string ...$pages)
    {
        $this->dir = self::temporaryFolder();
        foreach ($pages as $page) {
            copy(Pages::folder() . '/' . $page, $this->dir . '/' . $page);
        }
    }

    public function __destruct()
    {
        self::removeFolder($this->dir);
    }

    public static function temporaryFolder(): string
    {
        $dir = sys_get_temp_dir() . '/clipnest-php-' . bin2hex(random_bytes(6));
        mkdir($dir, 0700);
        return $dir;
    }

    public static function removeFolder(string $dir): void
    {
        foreach ((array) glob($dir . '/{,.}*', GLOB_BRACE) as $file) {
            if (is_file($file)) {
                unlink($file);
            }
        }
        @rmdir($dir);
    }

    // Runs `page` as the server would for a visit (no `post`) or a post from `address`, and the visit a browser makes
    // where the answer sends it (that answer in the page's `answer`).
    public function request(string $page, ?array $post = null, string $address = '192.0.2.10'): Response
    {
        return $this->requestAll($page, [[$post, $address]])[0];
    }

    // Runs `page` for each [post, address] of `requests` at once, as a server's workers do; their responses in order,
    // each followed where it sends the visitor.
    public function requestAll(string $page, array $requests): array
    {
        $running = [];
        foreach ($requests as [$post, $address]) {
            $running[] = $this->start($page, $post, $address);
        }
        return array_map(fn ($r, $request) => $this->follow(self::finish($r), $request[1]), $running, $requests);
    }

    // The page an answer sends the visitor to, visited from `address`; a page that sends nowhere itself.
    public function follow(Response $answer, string $address = '192.0.2.10'): Response
    {
        $location = $answer->location();
        if ($location === '') {
            return $answer;
        }
        $path = rawurldecode((string) parse_url($location, PHP_URL_PATH));
        $page = self::finish($this->start($path, null, $address, (string) parse_url($location, PHP_URL_QUERY)));
        $page->answer = $answer;
        return $page;
    }

    // Starts `page` as request() runs it and leaves it running; finish() waits for its response.
    public function start(string $page, ?array $post = null, string $address = '192.0.2.10', string $query = ''): array
    {
        $request = base64_encode(serialize(['post' => $post, 'address' => $address, 'query' => $query]));
        $process = proc_open(
            [PHP_BINARY, '-n', '-d', 'error_reporting=-1', '-d', 'display_errors=stderr', '-d', 'log_errors=0',
             '-d', 'auto_prepend_file=' . __DIR__ . '/request.php',
             ...array_merge(...array_map(fn ($setting) => ['-d', $setting], $this->settings)), $page],
            [1 => ['pipe', 'w'], 2 => ['pipe', 'w']], $pipes, $this->dir, ['CLIPNEST_REQUEST' => $request]);
        return [$process, $pipes];
    }

    public static function finish(array $running): Response
    {
        [$process, $pipes] = $running;
        $body = (string) stream_get_contents($pipes[1]);
        $errors = (string) stream_get_contents($pipes[2]);
        fclose($pipes[1]);
        fclose($pipes[2]);
        proc_close($process);
        return new Response($body, $errors);
    }

    public function has(string $name): bool
    {
        return file_exists($this->dir . '/' . $name);
    }

    public function file(string $name): string
    {
        return is_file($this->dir . '/' . $name) ? (string) file_get_contents($this->dir . '/' . $name) : '';
    }

    public function put(string $name, string $bytes): void
    {
        file_put_contents($this->dir . '/' . $name, $bytes);
    }
}

// PHP's own web server on a free loopback port for a folder, for what only a server shows of a page: its status and
// headers.
final class Server
{
    private $process;
    private string $address;

    public function __construct(string $dir)
    {
        $socket = stream_socket_server('tcp://127.0.0.1:0');
        $this->address = stream_socket_get_name($socket, false);
        fclose($socket);
        $this->process = proc_open([PHP_BINARY, '-n', '-S', $this->address, '-t', $dir],
            [1 => ['file', '/dev/null', 'w'], 2 => ['file', '/dev/null', 'w']], $pipes);
        for ($tries = 0; $tries < 100 && !@stream_socket_client('tcp://' . $this->address); ++$tries) {
            usleep(50000);
        }
    }

    public function __destruct()
    {
        proc_terminate($this->process);
        proc_close($this->process);
    }

    // [status, headers (lower-case name => value), body] of `method` on `path` with a form `post`, redirects not
    // followed.
    public function fetch(string $method, string $path, array $post = []): array
    {
        $context = stream_context_create(['http' => ['method' => $method, 'follow_location' => 0,
            'ignore_errors' => true, 'header' => 'Content-Type: application/x-www-form-urlencoded',
            'content' => http_build_query($post)]]);
        $body = (string) file_get_contents('http://' . $this->address . '/' . $path, false, $context);
        $headers = [];
        foreach (array_slice($http_response_header, 1) as $line) {
            [$name, $value] = explode(':', $line, 2);
            $headers[strtolower($name)] = trim($value);
        }
        return [(int) explode(' ', $http_response_header[0])[1], $headers, $body];
    }
}

// The form's token of a page served `secondsAgo`, signed as the page signs it: the time, a nonce, their signature.
function token(int $secondsAgo, string $secret = SECRET): string
{
    $time = (string) (time() - $secondsAgo);
    $nonce = bin2hex(random_bytes(8));
    return $time . '-' . $nonce . '-' . hash_hmac('sha256', 'comment ' . $time . ' ' . $nonce, $secret);
}

// The token of a page written before the nonce: the time and its signature.
function olderToken(int $secondsAgo, string $secret = SECRET): string
{
    $time = (string) (time() - $secondsAgo);
    return $time . '-' . hash_hmac('sha256', 'comment ' . $time, $secret);
}

// The first 16 hex of a token's hash, by which a stored comment names the token it was posted with.
function tokenId(string $token): string
{
    return substr(hash('sha256', $token), 0, 16);
}

// Waits for the start of a second, so that a token's age is the same when the page reads it a few milliseconds later.
function freshSecond(): void
{
    $fraction = microtime(true) - floor(microtime(true));
    if ($fraction > 0.05) {
        usleep((int) ((1.0 - $fraction) * 1e6) + 1000);
    }
}
