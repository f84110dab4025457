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
    public function __construct(public string $body, public string $errors)
    {
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
        preg_match_all('~<p class="comment">(.*?)<span class="date">\d{4}-\d\d-\d\d \d\d:\d\d:\d\d</span></p>~s',
            $this->body, $m);
        return $m[1];
    }
}

// A channel folder of its own with copies of some of the pages, removed at the end.
final class Channel
{
    public string $dir;

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

    // Runs `page` as the server would for a visit (no `post`) or a post from `address`.
    public function request(string $page, ?array $post = null, string $address = '192.0.2.10'): Response
    {
        return $this->requestAll($page, [[$post, $address]])[0];
    }

    // Runs `page` for each [post, address] of `requests` at once, as a server's workers do; their responses in order.
    public function requestAll(string $page, array $requests): array
    {
        $running = [];
        foreach ($requests as [$post, $address]) {
            $running[] = $this->start($page, $post, $address);
        }
        return array_map([self::class, 'finish'], $running);
    }

    // Starts `page` as request() runs it and leaves it running; finish() waits for its response.
    public function start(string $page, ?array $post = null, string $address = '192.0.2.10'): array
    {
        $request = base64_encode(serialize(['post' => $post, 'address' => $address]));
        $process = proc_open(
            [PHP_BINARY, '-n', '-d', 'error_reporting=-1', '-d', 'display_errors=stderr', '-d', 'log_errors=0',
             '-d', 'auto_prepend_file=' . __DIR__ . '/request.php', $page],
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

// The form's time token of a page served `secondsAgo`, signed as the page signs it.
function token(int $secondsAgo, string $secret = SECRET): string
{
    $time = (string) (time() - $secondsAgo);
    return $time . '-' . hash_hmac('sha256', 'comment ' . $time, $secret);
}

// Waits for the start of a second, so that a token's age is the same when the page reads it a few milliseconds later.
function freshSecond(): void
{
    $fraction = microtime(true) - floor(microtime(true));
    if ($fraction > 0.05) {
        usleep((int) ((1.0 - $fraction) * 1e6) + 1000);
    }
}
