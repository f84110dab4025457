<?php
// The comment box of a generated video page, a rule a test: what a post must pass, what is stored, what is shown.
declare(strict_types=1);

use PHPUnit\Framework\TestCase;

final class CommentBoxTest extends TestCase
{
    private const DATE = '\d{4}-\d\d-\d\d \d\d:\d\d:\d\d';
    // The poster's network and the form token's id, as the page marks a stored comment.
    private const MARK = 'n=[0-9a-f]{16} t=[0-9a-f]{16}';
    private Channel $channel;

    protected function setUp(): void
    {
        $this->channel = new Channel('roses.php', 'tulips.php', "Bob's \$clip {1}.php");
    }

    protected function tearDown(): void
    {
        unset($this->channel);
    }

    // A post as a person sends it: the text, a token of a page served 10 seconds ago, an empty hidden field.
    private function post(string $text, string $page = 'roses.php', string $address = '192.0.2.10',
                          array $more = []): Response
    {
        return $this->channel->request($page, $more + ['text' => $text, 't' => token(10), 'website' => ''], $address);
    }

    private function assertQuiet(Response ...$responses): void
    {
        foreach ($responses as $r) {
            $this->assertSame('', $r->errors);
        }
    }

    // The host's reply from the desktop, signed as the desktop signs it, for the thread `file`.
    private function reply(string $text, string $page = 'roses.php', ?int $time = null, string $secret = SECRET,
                           string $file = 'roses_comments.txt'): Response
    {
        $time ??= time();
        return $this->channel->request($page, ['reply' => $text, 'rt' => (string) $time,
            'rs' => hash_hmac('sha256', "reply $file\n$time\n$text", $secret)], '203.0.113.50');
    }

    // The record of the stored comment whose text is `text`.
    private function record(string $text, string $file = 'roses_comments.txt'): string
    {
        preg_match('~(?:^|(?<=\n))' . preg_quote($text, '~') . '\n[^\r]*\r\n[^\n]*\n~', $this->channel->file($file), $m);
        return $m[0] ?? '';
    }

    public function testAVisitShowsTheFormWithAFreshTokenAndStoresNothing(): void
    {
        $page = $this->channel->request('roses.php');
        $this->assertQuiet($page);
        $this->assertStringContainsString('<form method="POST">', $page->body);
        $this->assertStringNotContainsString(SECRET, $page->body);
        [$time, $nonce, $mac] = explode('-', $page->token());
        $this->assertEqualsWithDelta(time(), (int) $time, 5);
        $this->assertMatchesRegularExpression('~^[0-9a-f]{16}$~', $nonce);
        $this->assertSame(hash_hmac('sha256', 'comment ' . $time . ' ' . $nonce, SECRET), $mac);
        $this->assertNotSame($nonce, explode('-', $this->channel->request('roses.php')->token())[1],
            'every page served has a nonce of its own');
        $this->assertMatchesRegularExpression('~<div class="away" aria-hidden="true">.*\n.*name="website"~',
            $page->body);
        $this->assertSame([], $this->channel->request('roses.php', [])->shown(), 'a post without text is a visit');
        $this->assertFalse($this->channel->has('roses_comments.txt'));
    }

    public function testAPostIsStoredUnderThePagesNameAndShownEscapedOldestFirst(): void
    {
        $first = $this->post("Line one\r\nline two");
        $second = $this->post('</textarea><script>alert(1)</script>', 'roses.php', '192.0.2.10',
            ['date' => '2026-12-06']);
        $this->assertQuiet($first, $second);
        $this->assertSame('', $first->notice());
        $this->assertSame('', $first->kept(), 'a stored comment leaves the box empty');
        $this->assertMatchesRegularExpression('~^Line one\nline two\n' . self::DATE . "\r\n" . self::MARK . "\n"
            . '</textarea><script>alert\(1\)</script>\n' . self::DATE . "\r\n" . self::MARK . " 2026-12-06\n\\z~",
            $this->channel->file('roses_comments.txt'));
        $this->assertSame(["Line one<br>\nline two", '&lt;/textarea&gt;&lt;script&gt;alert(1)&lt;/script&gt;'],
            $second->shown());
        $this->assertStringNotContainsString('<script>alert', $second->body);

        $awkward = $this->post('named', "Bob's \$clip {1}.php", '10.9.9.9');
        $this->assertQuiet($awkward);
        $this->assertStringStartsWith("named\n", $this->channel->file("Bob's \$clip {1}_comments.txt"));
        $this->assertSame(['named'], $awkward->shown());
    }

    public function testBytesThatAreNotUtf8AreKeptAndShownSubstitutedWithoutHidingTheOthers(): void
    {
        $this->post("ab\xFF\xFE\xC3(");
        $after = $this->post('after');
        $this->assertQuiet($after);
        $this->assertStringStartsWith("ab\xFF\xFE\xC3(\n", $this->channel->file('roses_comments.txt'));
        $this->assertSame(["ab\u{FFFD}\u{FFFD}\u{FFFD}(", 'after'], $after->shown());
    }

    public function testATextThatIsNoStringIsIgnored(): void
    {
        $r = $this->channel->request('roses.php', ['text' => ['x'], 't' => token(10)]);
        $this->assertQuiet($r);
        $this->assertSame('', $r->notice());
        $this->assertFalse($this->channel->has('roses_comments.txt'));
    }

    public function testAPostTooSoonAfterThePageWasServedIsRefusedAndTheTextKept(): void
    {
        freshSecond();
        foreach ([0, 2] as $age) {
            $r = $this->channel->request('roses.php', ['text' => 'First!', 't' => token($age)]);
            $this->assertSame('Sorry, that was too fast. Please wait a few seconds, then post your comment again.',
                $r->notice());
            $this->assertSame('First!', $r->kept());
        }
        $this->assertSame('', $this->channel->request('roses.php', ['text' => 'Third', 't' => token(3)])->notice());
        $this->assertSame(['Third'], $this->channel->request('roses.php')->shown());
    }

    public function testATokenADayOldForgedOrBrokenIsRefusedAndTheTextKept(): void
    {
        $later = time() + 100;
        $future = $later . '-' . hash_hmac('sha256', 'comment ' . $later, SECRET);
        $now = (string) (time() - 10);
        $fourParts = $now . '-a-b-' . hash_hmac('sha256', 'comment ' . $now, SECRET);
        $notANonce = $now . '-zz-' . hash_hmac('sha256', 'comment ' . $now . ' zz', SECRET);
        foreach ([token(86401), token(10, str_repeat('d', 64)), olderToken(86401), '123-abc', 'abc', $future,
                  $fourParts, $notANonce] as $token) {
            $r = $this->channel->request('roses.php', ['text' => 'Left open', 't' => $token]);
            $this->assertQuiet($r);
            $this->assertSame(
                'Sorry, this page was loaded too long ago to post from. Please post your comment again.',
                $r->notice(), $token);
            $this->assertSame('Left open', $r->kept());
        }
        $this->assertSame('', $this->channel->request('roses.php', ['text' => 'ok', 't' => token(86000)])->notice());
        $this->assertStringStartsWith("ok\n", $this->channel->file('roses_comments.txt'));
    }

    public function testABotIsAnsweredAsIfItsPostWentInAndNothingIsStored(): void
    {
        $blind = $this->channel->request('roses.php', ['text' => 'Buy now']);
        $trapped = $this->post('Buy now', 'roses.php', '192.0.2.10', ['website' => 'http://spam.example']);
        foreach ([$blind, $trapped] as $r) {
            $this->assertQuiet($r);
            $this->assertSame('', $r->notice());
            $this->assertSame('', $r->kept());
            $this->assertSame([], $r->shown());
        }
        $this->assertFalse($this->channel->has('roses_comments.txt'));
        $this->assertFalse($this->channel->has('comment_rate_limits.txt'), 'a bot is not counted against a network');
    }

    public function testACommentHoldsAtMostTwoLinks(): void
    {
        $three = $this->post('see http://a.example HTTPS://b.example www.c.example');
        $this->assertSame('Sorry, a comment may hold at most 2 links.', $three->notice());
        $this->assertSame('see http://a.example HTTPS://b.example www.c.example', $three->kept());
        $this->assertFalse($this->channel->has('roses_comments.txt'));
        $this->assertSame('', $this->post('see http://a.example and WWW.b.example')->notice());
        $this->assertStringStartsWith('see http://a.example', $this->channel->file('roses_comments.txt'));
    }

    public function testACommentHoldsAtMost500CharactersCountedAsCharacters(): void
    {
        $limit = str_repeat("x\u{E9}\u{E9}", 166) . 'xx'; // 500 characters, 832 bytes
        $this->assertSame('', $this->post($limit)->notice());
        $this->assertStringStartsWith($limit . "\n", $this->channel->file('roses_comments.txt'));
        $before = $this->channel->file('roses_comments.txt');
        $over = $this->post($limit . 'y', 'roses.php', '192.0.2.77');
        $this->assertSame('Sorry, comments are limited to 500 characters.', $over->notice());
        $this->assertSame($limit . 'y', html_entity_decode($over->kept()));
        $this->assertSame($before, $this->channel->file('roses_comments.txt'));
        $this->assertSame('', $this->post(str_repeat("a\r\n", 250), 'roses.php', '192.0.2.78')->notice(),
            'a line break posted as CR LF is one character');
    }

    public function testTheCommentsFileStaysWithin30000Bytes(): void
    {
        // A post of 490 characters takes 550 bytes (its network's mark and token id 37), one of "x" whose date is
        // longer than a date 61 (the date is dropped): the two fill the file to the byte, and the next is refused.
        $this->channel->put('roses_comments.txt', str_repeat('x', 30000 - 550 - 61));
        $this->assertSame('', $this->post(str_repeat('c', 490), 'roses.php', '10.0.1.1')->notice());
        $this->assertSame('', $this->post('x', 'roses.php', '10.0.2.1', ['date' => str_repeat('d', 41)])->notice());
        $this->assertSame(30000, strlen($this->channel->file('roses_comments.txt')));
        $this->channel->put('roses_comments.txt', str_repeat('x', 30000 - 61 + 1));
        $full = $this->post('x', 'roses.php', '10.0.3.1');
        $this->assertSame('Sorry, comments for this entry are full.', $full->notice());
        $this->assertSame('x', $full->kept());
        $this->assertSame(30001 - 61, strlen($this->channel->file('roses_comments.txt')));
        $this->assertSame('', $this->post('x', 'tulips.php', '10.0.4.1')->notice(), 'each video has its own file');
    }

    public function testANetworkPostsTwiceAMinuteAndTwentyTimesADayAcrossTheChannel(): void
    {
        $this->assertSame('', $this->post('one', 'roses.php', '192.0.2.10')->notice());
        $this->assertSame('', $this->post('two', 'tulips.php', '192.0.2.99')->notice());
        $third = $this->post('three', 'roses.php', '192.0.2.200');
        $this->assertSame('Sorry, that is too many comments in a minute. Please wait a minute, then post again.',
            $third->notice());
        $this->assertSame('three', $third->kept());
        $this->assertSame('', $this->post('other', 'roses.php', '192.0.3.10')->notice(), 'another /24');
        $this->assertSame('', $this->post('mapped', 'roses.php', '::ffff:198.51.100.1')->notice());
        $this->assertSame('', $this->post('mapped', 'roses.php', '198.51.100.2')->notice());
        $this->assertSame('Sorry, that is too many comments in a minute. Please wait a minute, then post again.',
            $this->post('mapped', 'roses.php', '::ffff:198.51.100.3')->notice(), 'an IPv4 address as IPv6 is IPv4');
        $this->assertSame(
            'Sorry, that is too many comments in a minute. Please wait a minute, then post again.',
            $this->post('v6', 'roses.php', '2001:db8:1:2::1', [])->notice() . $this->post('v6', 'roses.php',
                '2001:db8:1:2:ffff::9')->notice() . $this->post('v6', 'roses.php', '2001:db8:1:2:1::1')->notice());
        $this->assertSame('', $this->post('v6', 'roses.php', '2001:db8:1:3::1')->notice(), 'another /64');

        $limits = $this->channel->file('comment_rate_limits.txt');
        $this->assertStringNotContainsString('192.0', $limits, 'no address in the file');
        $this->assertStringNotContainsString('2001', $limits);
        $this->assertLessThanOrEqual(6, count(explode("\n", trim($limits))), 'one row a network and an IPv6 /48');

        // The network of 192.0.2.*, its posts made older: a minute on, it may post again; after twenty in a day not.
        $older = function (int $seconds, int $more) {
            $rows = explode("\n", trim($this->channel->file('comment_rate_limits.txt')));
            $key = hash_hmac('sha256', 'network ' . substr(inet_pton('192.0.2.0'), 0, 3), SECRET);
            foreach ($rows as &$row) {
                $fields = explode(' ', $row);
                if (str_starts_with($key, $fields[0])) {
                    $times = array_map(fn ($t) => (int) $t - $seconds, array_slice($fields, 1));
                    for ($i = 0; $i < $more; ++$i) {
                        $times[] = time() - 3600 - $i;
                    }
                    $row = $fields[0] . ' ' . implode(' ', $times);
                }
            }
            $this->channel->put('comment_rate_limits.txt', implode("\n", $rows) . "\n");
        };
        $older(61, 0);
        $this->assertSame('', $this->post('a minute later', 'roses.php', '192.0.2.10')->notice());
        $older(61, 17);
        $day = $this->post('the 21st', 'tulips.php', '192.0.2.10');
        $this->assertSame(
            'Sorry, no more comments can be posted from your network today. Please come back tomorrow.',
            $day->notice());
        $this->assertLessThanOrEqual(5 * 240, strlen($this->channel->file('comment_rate_limits.txt')));
        $older(86400, 0);
        $this->assertSame('', $this->post('a day later', 'tulips.php', '192.0.2.10')->notice());
    }

    public function testACommentTheHostHidIsNotPrintedAndAClosedThreadTakesNoPost(): void
    {
        $this->post('first', 'roses.php', '192.0.2.1');
        $this->post('second', 'roses.php', '192.0.2.2');
        $stored = $this->channel->file('roses_comments.txt');
        $firstRecord = substr($stored, 0, strpos($stored, "second\n"));
        $this->channel->put('comment_moderation.txt', 'hide ' . hash('sha256', $firstRecord) . "\r\n");
        $this->assertSame(['second'], $this->channel->request('roses.php')->shown());

        $this->channel->put('comment_moderation.txt',
            'hide ' . hash('sha256', $firstRecord) . "\nclose roses_comments.txt\n");
        $closed = $this->post('still here?', 'roses.php', '192.0.2.3');
        $this->assertQuiet($closed);
        $this->assertSame('Sorry, comments on this video are closed.', $closed->notice());
        $this->assertStringNotContainsString('<form', $closed->body);
        $this->assertStringContainsString('<p class="notice">Comments on this video are closed.</p>', $closed->body);
        $this->assertSame(['second'], $closed->shown());
        $this->assertSame($stored, $this->channel->file('roses_comments.txt'));
        $this->assertStringContainsString('<form', $this->channel->request('tulips.php')->body,
            'the other thread stays open');
    }

    public function testACommentHoldsAtMost1500BytesHoweverFewItsCharacters(): void
    {
        $emoji = "\u{1F600}"; // 4 bytes
        $over = $this->post(str_repeat($emoji, 500), 'roses.php', '192.0.2.1');
        $this->assertSame('Sorry, comments are limited to 1,500 bytes: an emoji takes 4, an accented letter 2.',
            $over->notice());
        $this->assertSame(str_repeat($emoji, 500), html_entity_decode($over->kept()));
        $this->assertFalse($this->channel->has('roses_comments.txt'));
        $this->assertSame('', $this->post(str_repeat($emoji, 375), 'roses.php', '192.0.3.1')->notice());
        $this->assertStringStartsWith(str_repeat($emoji, 375) . "
", $this->channel->file('roses_comments.txt'));
        $this->assertSame('Sorry, comments are limited to 1,500 bytes: an emoji takes 4, an accented letter 2.',
            $this->post(str_repeat($emoji, 375) . 'x', 'roses.php', '192.0.4.1')->notice());
        $this->assertSame('', $this->post(str_repeat("\r\n", 100) . str_repeat($emoji, 350), 'roses.php', '192.0.5.1')
            ->notice(), 'counted as stored: a line break posted as CR LF is one byte');
    }

    // One network (an IPv4 /24, an IPv6 /48) posting the largest comments it may, from new addresses and as slowly as
    // the rate limits ask, fills a quarter of a thread and no more: every other network can still post.
    public function testOneNetworkHoldsAtMostAQuarterOfAThread(): void
    {
        $large = str_repeat("\u{1F600}", 375); // 1,500 bytes, 1,560 stored
        $said = [];
        for ($i = 1; $i <= 16; ++$i) {
            $this->channel->put('comment_rate_limits.txt', ''); // a minute and more between the posts
            $said[] = $this->post($large, 'roses.php', "203.0.113.$i")->notice();
        }
        $share = 'Sorry, your network has posted as much on this video as one network may: a quarter of its comments.';
        $this->assertSame(array_merge(array_fill(0, 4, ''), array_fill(0, 12, $share)), $said);
        $this->assertSame(4 * 1560, strlen($this->channel->file('roses_comments.txt')));
        $this->assertSame('', $this->post('Lovely roses', 'roses.php', '198.51.100.7')->notice(), 'another network');
        $this->assertSame('', $this->post($large, 'tulips.php', '203.0.113.20')->notice(), 'another thread');
        $this->assertSame('', $this->post('small', 'roses.php', '203.0.114.1')->notice(), 'the next /24');

        $v6 = [];
        foreach (['2001:db8:7:1::1', '2001:db8:7:2::1', '2001:db8:7:3::1', '2001:db8:7:4::1', '2001:db8:7:5::1'] as $a) {
            $this->channel->put('comment_rate_limits.txt', '');
            $v6[] = $this->post($large, 'roses.php', $a)->notice();
        }
        $this->assertSame(['', '', '', '', $share], $v6, 'an IPv6 /48 is one network, whatever its /64s');
    }

    // A network's share is counted to the byte, its comments with a posted date and its hidden ones too.
    public function testANetworksShareIsCountedToTheByteHiddenCommentsIncluded(): void
    {
        $mark = 'n=' . substr(hash_hmac('sha256', 'poster ' . substr(inet_pton('203.0.113.0'), 0, 3), SECRET), 0, 16);
        $head = "\n2026-12-01 10:00:00\r\n$mark 2026-12-06\n";
        // With the 61 bytes a post of "x" takes, the network holds exactly 7,500.
        $own = str_repeat('o', 7500 - 61 - strlen($head)) . $head;
        $this->channel->put('roses_comments.txt', $own);
        $this->channel->put('comment_moderation.txt', 'hide ' . hash('sha256', $own) . "\n");
        $this->assertSame('', $this->post('x', 'roses.php', '203.0.113.9')->notice());
        $this->assertSame(7500, strlen($this->channel->file('roses_comments.txt')));
        $this->channel->put('comment_rate_limits.txt', '');
        $this->assertSame(
            'Sorry, your network has posted as much on this video as one network may: a quarter of its comments.',
            $this->post('y', 'roses.php', '203.0.113.10')->notice());
        $this->assertSame('', $this->post('y', 'roses.php', '203.0.112.10')->notice(), 'the /24 next to it');
    }

    // However much the host hid, the comments file itself stays within 120,000 bytes.
    public function testTheCommentsFileItselfStaysWithin120000Bytes(): void
    {
        $hidden = str_repeat('h', 120000 - 61 - 23) . "\n2026-12-01 10:00:00\r\n\n";
        $this->channel->put('roses_comments.txt', $hidden);
        $this->channel->put('comment_moderation.txt', 'hide ' . hash('sha256', $hidden) . "\n");
        $this->assertSame('', $this->post('x', 'roses.php', '192.0.2.1')->notice());
        $this->assertSame(120000, strlen($this->channel->file('roses_comments.txt')));
        $this->assertSame('Sorry, comments for this entry are full.',
            $this->post('y', 'roses.php', '198.51.100.1')->notice());
    }

    // The comments the host hid leave room for others; the thread is full at 30,000 bytes of what is shown.
    public function testHiddenCommentsDoNotFillAThread(): void
    {
        $record = fn (string $text) => $text . "\n2026-12-01 10:00:00\r\n\n";
        $spam = $record(str_repeat('s', 14960));
        $kept = $record(str_repeat('k', 14960));
        $this->channel->put('roses_comments.txt', $spam . $kept);
        $full = $this->post('room?', 'roses.php', '192.0.2.1');
        $this->assertSame('Sorry, comments for this entry are full.', $full->notice());
        $this->channel->put('comment_moderation.txt', 'hide ' . hash('sha256', $spam) . "\n");
        $this->assertSame('', $this->post('room now', 'roses.php', '192.0.2.1')->notice());
        $this->assertSame([str_repeat('k', 14960), 'room now'], $this->channel->request('roses.php')->shown());
        $this->assertStringStartsWith($spam . $kept . "room now\n", $this->channel->file('roses_comments.txt'),
            'nothing is dropped');
    }

    // Posts at once from many networks, as a server's workers run them: the comments never pass 30,000 bytes, and each
    // post is stored whole or told it is full.
    public function testPostsAtOnceNeverTakeTheCommentsPastTheirCap(): void
    {
        $this->channel->put('roses_comments.txt', str_repeat('x', 29000) . "\n2026-12-01 10:00:00\r\n\n");
        $posts = [];
        for ($i = 0; $i < 40; ++$i) {
            $posts[] = [['text' => sprintf('Post %02d ', $i) . str_repeat('p', 92), 't' => token(10), 'website' => ''],
                "10.0.$i.1"];
        }
        $stored = 0;
        foreach ($this->channel->requestAll('roses.php', $posts) as $r) {
            $this->assertQuiet($r);
            $this->assertContains($r->notice(), ['', 'Sorry, comments for this entry are full.']);
            $stored += $r->notice() === '' ? 1 : 0;
        }
        $data = $this->channel->file('roses_comments.txt');
        $this->assertLessThanOrEqual(30000, strlen($data));
        $this->assertSame($stored, preg_match_all('~(?<=\n)Post \d\d p{92}\n' . self::DATE . "\r\n" . self::MARK . "\n~",
            $data));
        $this->assertSame(6, $stored, 'as many as fit');
    }

    // A disk too full for the post (a small tmpfs): the visitor is told and keeps the text, nothing half-written
    // stays, and the post does not count against the network's limit.
    public function testAPostTheDiskCannotHoldIsSaidKeptAndNotCounted(): void
    {
        $channel = new Channel();
        exec('mount -t tmpfs -o size=64k tmpfs ' . escapeshellarg($channel->dir) . ' 2>&1', $out, $status);
        if ($status !== 0) {
            $this->markTestSkipped('needs root, to mount a small tmpfs: ' . implode(' ', $out));
        }
        try {
            copy(Pages::folder() . '/roses.php', $channel->dir . '/roses.php');
            $filler = fopen($channel->dir . '/filler', 'w');
            while (@fwrite($filler, str_repeat('f', 4096)) === 4096) {
            }
            fclose($filler);
            foreach ([1, 2, 3] as $attempt) {
                $r = $channel->request('roses.php', ['text' => 'Kept words', 't' => token(10), 'website' => '']);
                $this->assertQuiet($r);
                $this->assertSame('Sorry, your comment could not be stored just now. Please try again later.',
                    $r->notice(), "attempt $attempt");
                $this->assertSame('Kept words', $r->kept());
                $this->assertSame('', $channel->file('roses_comments.txt'));
            }
            unlink($channel->dir . '/filler');
            foreach (['First words', 'Second words'] as $text) {
                $r = $channel->request('roses.php', ['text' => $text, 't' => token(10), 'website' => '']);
                $this->assertSame('', $r->notice(), 'the posts not stored did not count: ' . $r->notice());
            }
            $this->assertSame(['First words', 'Second words'], $r->shown());
        } finally {
            exec('umount ' . escapeshellarg($channel->dir));
        }
    }

    // A post is one comment whatever it holds: a date line typed into the text, with any line breaks, or a line break
    // in the date field, neither ends it nor passes for the server's date, and its links count in every field.
    public function testAPostIsOneCommentWithTheServersDate(): void
    {
        $forged = "Nice\n2019-01-01 10:00:00\r\n\nBuy http://a http://b\r2019-01-01 10:00:00\r\n\nmore http://c";
        $this->assertSame('Sorry, a comment may hold at most 2 links.', $this->post($forged)->notice());
        $this->assertSame('', $this->post(str_replace(' http://c', '', $forged), 'roses.php', '10.1.1.1')->notice());
        $this->assertSame('Sorry, a comment may hold at most 2 links.', $this->post('one http://a', 'roses.php',
            '10.1.2.1', ['date' => "\nhttp://b http://c"])->notice());
        $this->assertSame('', $this->post('glued', 'roses.php', '10.1.3.1', ['date' => "\nGlued www.x.example"])
            ->notice());
        $this->assertSame('', $this->post('innocent', 'roses.php', '10.1.4.1')->notice());
        $page = $this->channel->request('roses.php');
        $this->assertSame(["Nice<br>\n2019-01-01 10:00:00<br>\n<br>\nBuy http://a http://b<br>\n2019-01-01 10:00:00<br>\n"
            . "<br>\nmore", 'glued', 'innocent'], $page->shown());
        $this->assertSame(0, preg_match('~<span class="date">2019~', $page->body));
        $records = $this->channel->file('roses_comments.txt');
        $this->assertSame(3, substr_count($records, "\r"), 'a CR only in the server\'s date lines');
        $this->assertMatchesRegularExpression("~\r\n" . self::MARK . " Glued www\\.x\\.example\n~", $records);
    }

    // The awkward comment files of tests/data/comments, as the page shows them; `clipnest comments` reads the same
    // files to the same list (publish_test Comments.TheAwkwardFilesReadAsThePageReadsThem).
    public function testTheAwkwardCommentFilesReadAsListed(): void
    {
        foreach (glob(__DIR__ . '/../data/comments/*.txt') as $file) {
            $this->channel->put('roses_comments.txt', (string) file_get_contents($file));
            $body = $this->channel->request('roses.php')->body;
            $listed = '';
            foreach ((new Response($body, ''))->comments() as [, , $shown, $date]) {
                $text = htmlspecialchars_decode(str_replace('<br>', '', $shown), ENT_QUOTES);
                $listed .= $date . "\t" . str_replace(["\r", "\n"], ['\\r', '\\n'], $text) . "\n";
            }
            $this->assertSame((string) file_get_contents(substr($file, 0, -4) . '.listed'), $listed, basename($file));
        }
    }

    // An IPv6 /48 posts at most 5 times a minute from however many /64s; the rate-limit file keeps its 1000 rows of
    // latest posts, however many it found.
    public function testASiteOfManyNetworksIsCountedAndTheLimitFileStaysBounded(): void
    {
        $minute = 'Sorry, that is too many comments in a minute. Please wait a minute, then post again.';
        for ($i = 1; $i <= 5; ++$i) {
            $this->assertSame('', $this->post("v6 $i", 'roses.php', "2001:db8:5:$i::1")->notice(), "/64 number $i");
        }
        $this->assertSame($minute, $this->post('sixth', 'roses.php', '2001:db8:5:6::1')->notice());
        $this->assertSame('', $this->post('elsewhere', 'roses.php', '2001:db8:6:1::1')->notice(), 'another /48');

        $rows = '';
        for ($i = 0; $i < 5000; ++$i) {
            $rows .= sprintf('%016x', $i) . str_repeat(' ' . (time() - 100), 50) . "\n";
        }
        $this->channel->put('comment_rate_limits.txt', $rows);
        $this->assertSame('', $this->post('at the bound', 'roses.php', '198.51.100.7')->notice());
        $kept = explode("\n", trim($this->channel->file('comment_rate_limits.txt')));
        $this->assertCount(1000, $kept);
        $this->assertStringStartsWith(sprintf('%016x', 4001) . ' ', $kept[0], 'the oldest rows went');
    }

    // A post is answered by sending the visitor back to the page, so a reload asks for the page; the same post sent
    // again (a reload of the answer, or two clicks at once) is stored once and answered alike.
    public function testAPostIsSentBackToThePageAndStoredOnceHoweverOftenItIsSent(): void
    {
        $form = ['text' => 'Once only', 't' => token(10), 'website' => ''];
        $first = $this->channel->request('roses.php', $form);
        $this->assertQuiet($first, $first->answer);
        $this->assertSame('roses.php#comments', $first->answer->location());
        $this->assertStringNotContainsString('<form', $first->answer->body, 'the answer is no page of its own');
        $again = $this->channel->request('roses.php', $form);
        $this->assertSame('roses.php#comments', $again->answer->location());
        $this->assertSame(['', ''], [$again->notice(), $again->kept()]);
        $this->assertSame(['Once only'], $again->shown());
        $this->assertMatchesRegularExpression("~\r\n" . 'n=[0-9a-f]{16} t=' . tokenId($form['t']) . "\n\\z~",
            $this->channel->file('roses_comments.txt'));

        // Two clicks at once: both find the thread without the post, then store one after the other.
        $twice = ['text' => 'Double click', 't' => token(10), 'website' => ''];
        $lock = fopen($this->channel->dir . '/roses_comments.txt', 'a+');
        flock($lock, LOCK_EX);
        $running = [$this->channel->start('roses.php', $twice), $this->channel->start('roses.php', $twice)];
        usleep(400000);
        flock($lock, LOCK_UN);
        fclose($lock);
        foreach ($running as $r) {
            $r = $this->channel->follow(Channel::finish($r));
            $this->assertSame('roses.php#comments', $r->answer->location());
            $this->assertSame('', $r->notice());
        }
        $this->assertSame(['Once only', 'Double click'], $this->channel->request('roses.php')->shown());
        $this->assertSame('', $this->channel->request('roses.php', $form + ['name' => 'Reload'], '192.0.2.99')
            ->notice(), 'a reload is no post: not refused by the minute\'s limit, though the network posted twice');

        // A page served before the nonce: its token is taken, and known again only from the network that posted it,
        // as every visitor of its second has the same one.
        $older = ['text' => 'Older page', 't' => olderToken(10), 'website' => ''];
        $this->channel->request('tulips.php', $older, '198.51.100.1');
        $this->channel->request('tulips.php', $older, '198.51.100.1');
        $this->channel->request('tulips.php', ['text' => 'Same second'] + $older, '203.0.113.1');
        $this->assertSame(['Older page', 'Same second'], $this->channel->request('tulips.php')->shown());

        $awkward = $this->post('named', "Bob's \$clip {1}.php", '10.9.9.9');
        $this->assertSame('Bob%27s%20%24clip%20%7B1%7D.php#comments', $awkward->answer->location());
        $this->assertSame(['named'], $awkward->shown());
    }

    // A refusal sends its notice and the text typed back in the address, signed: a link made up by anyone else puts
    // nothing in the box or the notice.
    public function testARefusalIsSentBackSignedAndNoOtherLinkPutsWordsOnThePage(): void
    {
        $refused = $this->post(str_repeat('x', 501) . "\r\nend");
        $location = $refused->answer->location();
        $this->assertMatchesRegularExpression('~^roses\.php\?said=long&keep=x{501}%0D%0Aend&k=[0-9a-f]{32}#comment-form$~',
            $location);
        $this->assertSame('Sorry, comments are limited to 500 characters.', $refused->notice());
        $this->assertSame(str_repeat('x', 501) . "\r\nend", $refused->kept());

        $query = fn (string $said, string $keep, string $k) => 'said=' . $said . '&keep=' . rawurlencode($keep) . '&k=' . $k;
        $k = fn (string $said, string $keep, string $secret = SECRET) =>
            substr(hash_hmac('sha256', "said $said $keep", $secret), 0, 32);
        $good = $this->channel->finish($this->channel->start('roses.php', null, '192.0.2.1',
            $query('links', 'Visit me', $k('links', 'Visit me'))));
        $this->assertSame(['Sorry, a comment may hold at most 2 links.', 'Visit me'], [$good->notice(), $good->kept()]);
        foreach ([$query('links', 'Buy pills', $k('links', 'Visit me')), $query('long', 'Visit me', $k('links', 'Visit me')),
                  $query('links', 'Visit me', $k('links', 'Visit me', str_repeat('d', 64))),
                  $query('links', 'Visit me', ''), 'said=links&keep=Visit+me', 'keep=Visit+me',
                  $query('nothing', 'Visit me', $k('nothing', 'Visit me'))] as $forged) {
            $page = $this->channel->finish($this->channel->start('roses.php', null, '192.0.2.1', $forged));
            $this->assertQuiet($page);
            $this->assertSame(['', ''], [$page->notice(), $page->kept()], $forged);
        }

        // Of a text too long for any address the first 2,000 bytes come back, cut before a character's start.
        $long = $this->post('a' . str_repeat("\u{1F600}", 600), 'roses.php', '192.0.2.20');
        $this->assertSame('a' . str_repeat("\u{1F600}", 499), html_entity_decode($long->kept()));
        $this->assertLessThan(8000, strlen($long->answer->location()));
    }

    // A name is optional, shown escaped above the comment, at most 40 characters once its control characters are out.
    public function testANameIsShownEscapedAndHoldsAtMost40Characters(): void
    {
        $this->assertSame('', $this->post('Marked up', 'roses.php', '10.0.1.1', ['name' => '<b>Ann</b> & "co"'])->notice());
        $this->post('Nameless', 'roses.php', '10.0.2.1');
        $this->post('Spaces', 'roses.php', '10.0.3.1', ['name' => "  \t "]);
        $forty = str_repeat("\u{E9}", 39) . 'x';
        $this->assertSame('', $this->post('Forty', 'roses.php', '10.0.4.1', ['name' => "\r\n" . $forty . "\x00"])->notice());
        $this->post('Percent', 'roses.php', '10.0.5.1', ['name' => 'a=b c%20d']);
        $this->post('Dated', 'roses.php', '10.0.7.1', ['date' => 'a=The%20host']);
        $page = $this->channel->request('roses.php');
        $this->assertSame(['&lt;b&gt;Ann&lt;/b&gt; &amp; &quot;co&quot;', 'Anonymous', 'Anonymous', $forty, 'a=b c%20d',
            'Anonymous'], $page->names(), 'a date field never passes for a name');
        $this->assertSame(['Marked up', 'Nameless', 'Spaces', 'Forty', 'Percent', 'Dated'], $page->shown());
        $this->assertStringNotContainsString('<b>Ann', $page->body);
        $this->assertStringContainsString(' a=' . rawurlencode($forty) . "\n", $this->channel->file('roses_comments.txt'));
        $this->assertStringContainsString(' a=a%3Db%20c%2520d' . "\n", $this->channel->file('roses_comments.txt'));
        $this->assertStringContainsString('<label for="comment-name">Your name (optional)</label>', $page->body);

        $before = $this->channel->file('roses_comments.txt');
        $over = $this->post('Too long a name', 'roses.php', '10.0.6.1', ['name' => $forty . 'y']);
        $this->assertSame('Sorry, names are limited to 40 characters.', $over->notice());
        $this->assertSame('Too long a name', $over->kept());
        $this->assertSame($before, $this->channel->file('roses_comments.txt'));
    }

    // A held thread (one by name, or all) shows a new comment once the host approved it; the poster is told so.
    public function testAHeldCommentIsShownOnlyOnceApproved(): void
    {
        $this->post('Before the hold', 'roses.php', '10.0.1.1');
        $this->channel->put('comment_moderation.txt', "hold roses_comments.txt\r\n");
        $form = ['text' => 'Wait for me', 't' => token(10), 'website' => ''];
        $held = $this->channel->request('roses.php', $form, '10.0.2.1');
        $this->assertQuiet($held);
        $this->assertSame("Thank you; your comment will appear once the channel's host has read it.", $held->notice());
        $this->assertStringStartsWith('roses.php?said=held&keep=&k=', $held->answer->location());
        $this->assertStringEndsWith('#comments', $held->answer->location());
        $this->assertSame(['Before the hold'], $held->shown());
        $this->assertSame('', $held->kept());
        $this->assertMatchesRegularExpression("~\r\nn=[0-9a-f]{16} h=1 t=[0-9a-f]{16}\n\\z~",
            $this->channel->file('roses_comments.txt'));
        $again = $this->channel->request('roses.php', $form, '10.0.2.1');
        $this->assertSame("Thank you; your comment will appear once the channel's host has read it.", $again->notice());
        $this->assertSame(1, substr_count($this->channel->file('roses_comments.txt'), 'Wait for me'));
        $this->assertSame(['Open'], $this->post('Open', 'tulips.php', '10.0.3.1')->shown(), 'another thread');

        $approve = 'approve ' . hash('sha256', $this->record('Wait for me')) . "\n";
        $this->channel->put('comment_moderation.txt', "hold roses_comments.txt\n" . $approve);
        $this->assertSame(['Before the hold', 'Wait for me'], $this->channel->request('roses.php')->shown());

        $this->channel->put('comment_moderation.txt', "hold *\n" . $approve);
        $all = $this->post('Held too', 'tulips.php', '10.0.4.1');
        $this->assertSame("Thank you; your comment will appear once the channel's host has read it.", $all->notice());
        $this->assertSame(['Open'], $all->shown());
        $this->assertSame(['Before the hold', 'Wait for me'], $this->channel->request('roses.php')->shown());
    }

    // The host's reply, signed from the desktop, is stored as the host's and shown under the channel's name; no
    // visitor can post one, and a reply is taken once, within ten minutes of its signing.
    public function testASignedReplyIsTheHostsAndNothingElseIs(): void
    {
        $this->post('A question?', 'roses.php', '10.0.1.1');
        $stored = $this->reply("Thanks!\r\nSee you");
        $this->assertQuiet($stored);
        $this->assertSame('stored', $stored->body);
        $this->assertMatchesRegularExpression("~\nThanks!\nSee you\n" . self::DATE . "\r\nhost s=[0-9a-f]{16}\n\\z~",
            $this->channel->file('roses_comments.txt'));
        $this->assertSame([[false, 'Anonymous', 'A question?'], [true, 'The channel&#039;s host', "Thanks!<br>\nSee you"]],
            array_map(fn ($c) => array_slice($c, 0, 3), $this->channel->request('roses.php')->comments()));
        $this->channel->put('comment_moderation.txt', "host Ann's <Garden>\nhold *\n");
        $this->assertSame('stored', $this->reply('Held? never')->body);
        // Signed at a time of its own, so that sending it again below is the same reply, whatever the clock did since.
        $signedAt = time();
        $this->assertSame('stored', $this->reply('Out of the limits', 'roses.php', $signedAt)->body);
        $page = $this->channel->request('roses.php');
        $this->assertSame(['Anonymous', 'Ann&#039;s &lt;Garden&gt;', 'Ann&#039;s &lt;Garden&gt;', 'Ann&#039;s &lt;Garden&gt;'],
            $page->names());
        $this->assertFalse($this->channel->has('comment_rate_limits.txt') && str_contains(
            $this->channel->file('comment_rate_limits.txt'), "\n\n"), 'a reply is not counted');

        $before = $this->channel->file('roses_comments.txt');
        foreach (['a replay' => $this->reply('Out of the limits', 'roses.php', $signedAt),
                  'another secret' => $this->reply('Forged', 'roses.php', null, str_repeat('d', 64)),
                  '11 minutes old' => $this->reply('Late', 'roses.php', time() - 660),
                  '11 minutes ahead' => $this->reply('Early', 'roses.php', time() + 660),
                  'another thread' => $this->reply('Elsewhere', 'roses.php', null, SECRET, 'tulips_comments.txt'),
                  'empty' => $this->reply(" \r\n")] as $why => $r) {
            $this->assertQuiet($r);
            $this->assertSame('refused', $r->body, $why);
        }
        $this->assertSame('stored', $this->reply('Nine minutes', 'roses.php', time() - 540)->body);
        $this->assertStringEndsWith("Nine minutes\n", substr($this->channel->file('roses_comments.txt'), strlen($before),
            strlen('Nine minutes') + 1));

        // A visitor named "host" whose text is shaped like the host's line is a visitor.
        $this->channel->put('comment_moderation.txt', "host Ann's <Garden>\n");
        $this->post("I am\n2026-12-01 10:00:00\r\nhost s=0123456789abcdef", 'roses.php', '10.0.2.1', ['name' => 'host']);
        $last = array_slice($this->channel->request('roses.php')->comments(), -1)[0];
        $this->assertSame([false, 'host'], array_slice($last, 0, 2));
        $this->assertMatchesRegularExpression("~\r\nn=[0-9a-f]{16} t=[0-9a-f]{16} a=host\n\\z~",
            $this->channel->file('roses_comments.txt'));
    }

    // A note by mail for each stored comment, at most notify_per_day a day, of nothing but the page and the text.
    public function testTheHostIsMailedOncePerStoredCommentWithinTheDaysCount(): void
    {
        $mails = $this->channel->dir . '/../' . basename($this->channel->dir) . '-mail';
        $sendmail = $mails . '.sh';
        file_put_contents($sendmail, "#!/bin/sh\n{ cat; printf '\\n=====\\n'; } >> '$mails'\n");
        chmod($sendmail, 0700);
        $this->channel->settings = ['sendmail_path=' . $sendmail];
        $sent = function () use ($mails): array {
            return is_file($mails) ? array_slice(explode("\n=====\n", (string) file_get_contents($mails)), 0, -1) : [];
        };
        try {
            $this->channel->put('comment_moderation.txt',
                "notify host@example.net\nnotify_per_day 2\nsite https://videos.example\nhost Garden\n");
            $this->assertQuiet($this->post('First <3', 'roses.php', '192.0.2.10', ['name' => "Eve\r\nBcc: x@example.com"]));
            $this->assertCount(1, $sent());
            [$head, $body] = explode("\n\n", str_replace("\r\n", "\n", $sent()[0]), 2);
            $this->assertMatchesRegularExpression('~^To: host@example.net$~m', $head);
            preg_match('~^Subject: (.*)$~m', $head, $subject);
            $this->assertSame('New comment on roses.php', iconv_mime_decode($subject[1], 0, 'UTF-8'));
            $this->assertStringNotContainsString('Bcc', $head);
            $this->assertSame("New comment on roses.php\n\nFirst <3\n\nhttps://videos.example/roses.php", rtrim($body));

            $this->post(str_repeat('x', 501), 'roses.php', '192.0.2.11');
            $this->channel->put('tulips_comments.txt', str_repeat('x', 30000));
            $this->assertSame('Sorry, comments for this entry are full.',
                $this->post('No room', 'tulips.php', '192.0.2.12')->notice());
            $this->channel->put('tulips_comments.txt', '');
            $this->reply('Thanks');
            $this->assertCount(1, $sent(), 'none for a refused post or a reply');

            $long = str_repeat("\u{E9}", 400);
            $this->post($long, "Bob's \$clip {1}.php", '10.0.0.1', ['name' => 'Zed']);
            $this->assertCount(2, $sent());
            [$head, $body] = explode("\n\n", str_replace("\r\n", "\n", $sent()[1]), 2);
            preg_match('~^Subject: (.*)$~m', $head, $subject);
            $this->assertSame("New comment on Bob's \$clip {1}.php", iconv_mime_decode($subject[1], 0, 'UTF-8'));
            $this->assertSame("New comment on Bob's \$clip {1}.php\n\n" . str_repeat("\u{E9}", 300)
                . "\n\nhttps://videos.example/Bob%27s%20%24clip%20%7B1%7D.php", rtrim($body));
            foreach ($sent() as $mail) {
                $this->assertStringNotContainsString('192.0.2', $mail);
                $this->assertStringNotContainsString('10.0.0', $mail);
                $this->assertStringNotContainsString('Eve', $mail);
                $this->assertStringNotContainsString('Zed', $mail);
            }

            $this->assertSame('', $this->post('Third today', 'tulips.php', '10.0.1.1')->notice());
            $this->assertCount(2, $sent(), 'two a day');
            $this->assertSame(date('Y-m-d') . " 2\n", $this->channel->file('comment_mail_count.txt'));
            $this->channel->put('comment_mail_count.txt', "2000-01-01 2\n");
            $this->post('A new day', 'tulips.php', '10.0.2.1');
            $this->assertCount(3, $sent());

            $this->channel->put('comment_moderation.txt', "notify host@example.net, other@example.net\n");
            $this->post('No valid address', 'tulips.php', '10.0.3.1');
            $this->channel->put('comment_moderation.txt', "notify host@example.net\nnotify_per_day 0\n");
            $this->post('None a day', 'tulips.php', '10.0.4.1');
            $this->assertCount(3, $sent());
        } finally {
            @unlink($mails);
            @unlink($sendmail);
        }
    }

    // What only a server shows: a post answered 303 with the page's address, a reply's answer as its status.
    public function testTheServerAnswersAPostWithSeeOtherAndAReplyWithItsStatus(): void
    {
        $server = new Server($this->channel->dir);
        [$status, $headers] = $server->fetch('POST', 'roses.php', ['text' => 'Served', 't' => token(10), 'website' => '']);
        $this->assertSame([303, 'roses.php#comments'], [$status, $headers['location'] ?? '']);
        [$status, $headers] = $server->fetch('POST', 'roses.php', ['text' => 'x', 't' => 'broken', 'website' => '']);
        $this->assertSame(303, $status);
        $this->assertStringStartsWith('roses.php?said=old&keep=x&k=', $headers['location'] ?? '');
        [$status, , $body] = $server->fetch('POST', 'roses.php', ['reply' => 'Hi', 'rt' => (string) time(), 'rs' => 'x']);
        $this->assertSame([403, 'refused'], [$status, $body]);
        $time = time();
        [$status, , $body] = $server->fetch('POST', 'roses.php', ['reply' => 'Hi', 'rt' => (string) $time,
            'rs' => hash_hmac('sha256', "reply roses_comments.txt\n$time\nHi", SECRET)]);
        $this->assertSame([200, 'stored'], [$status, $body]);
        [$status, , $body] = $server->fetch('GET', 'roses.php');
        $this->assertSame(200, $status);
        $this->assertSame(['Served', 'Hi'], (new Response($body, ''))->shown());
    }
}
