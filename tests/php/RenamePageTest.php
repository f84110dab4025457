<?php
// The generated rename page, each refusal and each acceptance: for one file (rename_one.php, "my $clip's.mp4" to
// "new & {$better}.mp4") and for a video with its comments (rename_pairs.php, roses to "red roses"), two renames on
// one page (rename_queue.php, roses to "red roses", then to tulips), and the page left at a renamed video's old page
// (moved.php, to "Bob's red rosé.php").
declare(strict_types=1);

use PHPUnit\Framework\TestCase;

final class RenamePageTest extends TestCase
{
    private const OLD = "my \$clip's.mp4";
    private const NEW = 'new & {$better}.mp4';

    private function files(Channel $channel): array
    {
        $files = [];
        foreach (scandir($channel->dir) as $name) {
            if ($name[0] !== '.' && !str_starts_with($name, 'rename_')) {
                $files[$name] = $channel->file($name);
            }
        }
        ksort($files);
        return $files;
    }

    public function testOneFileIsRenamedOnceAndThePageIsGone(): void
    {
        $channel = new Channel('rename_one.php');
        $channel->put(self::OLD, 'video');
        $r = $channel->request('rename_one.php');
        $this->assertSame('', $r->errors);
        $this->assertSame('Successfully Renamed my $clip&#039;s.mp4 to new &amp; {$better}.mp4', $r->body);
        $this->assertSame([self::NEW => 'video'], $this->files($channel));
        $this->assertFalse($channel->has('rename_one.php'));
    }

    public function testOneFileIsNotRenamedOverAnotherAndThePageStays(): void
    {
        $channel = new Channel('rename_one.php');
        $channel->put(self::OLD, 'video');
        $channel->put(self::NEW, 'older');
        $this->assertSame('A File With The Same Name Already Exists', $channel->request('rename_one.php')->body);
        $this->assertSame([self::OLD => 'video', self::NEW => 'older'], $this->files($channel));
        $this->assertTrue($channel->has('rename_one.php'));
    }

    public function testAMissingFileIsReportedWithoutTheServersWarningAndThePageStays(): void
    {
        $channel = new Channel('rename_one.php');
        $r = $channel->request('rename_one.php');
        $this->assertSame('', $r->errors);
        $this->assertSame('Error While Renaming my $clip&#039;s.mp4', $r->body);
        $this->assertSame([], $this->files($channel));
        $this->assertTrue($channel->has('rename_one.php'));
    }

    private function roses(): Channel
    {
        $channel = new Channel('rename_pairs.php');
        $channel->put('roses.mp4', 'video');
        $channel->put('roses.php', 'page');
        $channel->put('roses_comments.txt', 'comments');
        return $channel;
    }

    public function testAVideoGoesWithItsCommentsAndThePageIsGone(): void
    {
        $channel = $this->roses();
        $r = $channel->request('rename_pairs.php');
        $this->assertSame('', $r->errors);
        $this->assertSame("Successfully Renamed roses.mp4 to red roses.mp4<br>\n"
            . "Successfully Renamed roses_comments.txt to red roses_comments.txt<br>\n", $r->body);
        $this->assertSame(['red roses.mp4' => 'video', 'red roses_comments.txt' => 'comments', 'roses.php' => 'page'],
            $this->files($channel), 'the old page is not the rename page\'s: it stays');
        $this->assertFalse($channel->has('rename_pairs.php'));
    }

    public function testAVideoWithoutCommentsYetGoesAlone(): void
    {
        $channel = $this->roses();
        unlink($channel->dir . '/roses_comments.txt');
        $channel->request('rename_pairs.php');
        $this->assertSame(['red roses.mp4' => 'video', 'roses.php' => 'page'], $this->files($channel));
        $this->assertFalse($channel->has('rename_pairs.php'));
    }

    // Any file under a new name stops the whole rename and nothing is deleted, whatever its name says: the host's own
    // file, the page's new version, a link (even where a comments file would be merged into).
    public function testNothingIsRenamedNorDeletedWhenAnyTargetHoldsOtherBytes(): void
    {
        $channel = $this->roses();
        $channel->put('red roses.mp4', 'there');
        $r = $channel->request('rename_pairs.php');
        $this->assertSame('A File With The Same Name Already Exists: red roses.mp4; nothing was renamed.', $r->body);
        $this->assertSame(['red roses.mp4' => 'there', 'roses.mp4' => 'video', 'roses.php' => 'page',
            'roses_comments.txt' => 'comments'], $this->files($channel));
        $this->assertTrue($channel->has('rename_pairs.php'));

        $channel = $this->roses();
        $channel->put('elsewhere.txt', 'elsewhere');
        symlink($channel->dir . '/elsewhere.txt', $channel->dir . '/red roses_comments.txt');
        $r = $channel->request('rename_pairs.php');
        $this->assertStringStartsWith('A File With The Same Name Already Exists: red roses_comments.txt', $r->body);
        $this->assertSame('video', $channel->file('roses.mp4'));
        $this->assertSame('comments', $channel->file('roses_comments.txt'));
        $this->assertSame('elsewhere', $channel->file('elsewhere.txt'));
    }

    // Visitors of the new page posted before the page ran: one comments file, the old comments first.
    public function testOldCommentsGoBeforeThoseOfTheNewPageAndTheOldFileGoes(): void
    {
        $channel = $this->roses();
        $channel->put('red roses_comments.txt', 'newer');
        $r = $channel->request('rename_pairs.php');
        $this->assertSame('', $r->errors);
        $this->assertSame("Successfully Renamed roses.mp4 to red roses.mp4<br>\n"
            . "Successfully Merged roses_comments.txt into red roses_comments.txt<br>\n", $r->body);
        $this->assertSame(['red roses.mp4' => 'video', 'red roses_comments.txt' => 'commentsnewer',
            'roses.php' => 'page'], $this->files($channel));
        $this->assertFalse($channel->has('rename_pairs.php'));
    }

    // The merge waits for a post holding the comments file's lock, and a post whose page opened the file before the
    // merge and writes after it lands in the merged file. The lock is held by a process of its own, as the page would
    // share the test's own open files.
    public function testPostsAroundTheMergeAreKept(): void
    {
        $channel = $this->roses();
        $channel->put('red roses_comments.txt', "newer\n");
        $comments = $channel->dir . '/red roses_comments.txt';
        $posting = proc_open([PHP_BINARY, '-n', '-r', '$f = fopen($argv[1], "a"); flock($f, LOCK_EX); echo "held\n"; '
            . 'fgets(STDIN); fwrite($f, "posted meanwhile\n");', '--', $comments], [['pipe', 'r'], ['pipe', 'w']], $pipes);
        $this->assertSame("held\n", fgets($pipes[1]));
        $running = $channel->start('rename_pairs.php');
        usleep(400000);
        $this->assertTrue($channel->has('roses_comments.txt'), 'the merge waits on the lock');
        $waiting = fopen($comments, 'a');
        fwrite($pipes[0], "go\n");
        proc_close($posting);
        $this->assertSame('', Channel::finish($running)->errors);
        flock($waiting, LOCK_EX);
        fwrite($waiting, "posted after\n");
        fclose($waiting);
        $this->assertSame("commentsnewer\nposted meanwhile\nposted after\n", $channel->file('red roses_comments.txt'));
        $this->assertFalse($channel->has('roses_comments.txt'));
    }

    public function testAMergeIsTurnedBackWhenALaterRenameFails(): void
    {
        $channel = new Channel('rename_merge_failing.php');
        $channel->put('roses.mp4', 'video');
        $channel->put('roses_comments.txt', 'comments');
        $channel->put('red roses_comments.txt', 'newer');
        $r = $channel->request('rename_merge_failing.php');
        $this->assertSame('', $r->errors);
        $this->assertStringEndsWith("Error While Renaming red roses.mp4; nothing was renamed.", $r->body);
        $this->assertSame(['red roses_comments.txt' => 'newer', 'roses.mp4' => 'video',
            'roses_comments.txt' => 'comments'], $this->files($channel));
        $this->assertTrue($channel->has('rename_merge_failing.php'));
    }

    // A target with the very bytes its old file holds (uploaded already) is what the rename would make: the others are
    // renamed, and the old file stays, as the page deletes only what it renamed.
    public function testATargetHoldingTheSameBytesIsLeftAndSoIsItsOldFile(): void
    {
        $channel = $this->roses();
        $channel->put('red roses.mp4', 'video');
        $r = $channel->request('rename_pairs.php');
        $this->assertSame('', $r->errors);
        $this->assertSame("Already There: red roses.mp4 holds what roses.mp4 holds<br>\n"
            . "Successfully Renamed roses_comments.txt to red roses_comments.txt<br>\n", $r->body);
        $this->assertSame(['red roses.mp4' => 'video', 'red roses_comments.txt' => 'comments', 'roses.mp4' => 'video',
            'roses.php' => 'page'], $this->files($channel));
        $this->assertFalse($channel->has('rename_pairs.php'));
    }

    public function testNothingIsRenamedWithoutTheVideo(): void
    {
        $channel = $this->roses();
        unlink($channel->dir . '/roses.mp4');
        $r = $channel->request('rename_pairs.php');
        $this->assertSame('', $r->errors);
        $this->assertSame('Error While Renaming roses.mp4: there is no such file; nothing was renamed.', $r->body);
        $this->assertSame(['roses.php' => 'page', 'roses_comments.txt' => 'comments'], $this->files($channel));
        $this->assertTrue($channel->has('rename_pairs.php'));
    }

    public function testARenameThatFailsTurnsBackTheOnesBeforeIt(): void
    {
        $channel = new Channel('rename_failing.php');
        $channel->put('roses.mp4', 'video');
        $channel->put('roses_comments.txt', 'comments');
        $r = $channel->request('rename_failing.php');
        $this->assertSame('', $r->errors);
        $this->assertStringEndsWith("Error While Renaming roses_comments.txt; nothing was renamed.", $r->body);
        $this->assertSame(['roses.mp4' => 'video', 'roses_comments.txt' => 'comments'], $this->files($channel));
        $this->assertTrue($channel->has('rename_failing.php'));
    }

    // One call does both renames; a call on a server where an earlier call did the first does the second alone; and
    // where both were done it changes nothing and says so.
    public function testQueuedRenamesAreDoneInOrderAndThoseDoneAlreadyArePassedOver(): void
    {
        $channel = new Channel('rename_queue.php');
        $channel->put('roses.mp4', 'video');
        $channel->put('roses_comments.txt', 'comments');
        $r = $channel->request('rename_queue.php');
        $this->assertSame('', $r->errors);
        $this->assertSame(['tulips.mp4' => 'video', 'tulips_comments.txt' => 'comments'], $this->files($channel),
            $r->body);
        $this->assertFalse($channel->has('rename_queue.php'));

        $channel = new Channel('rename_queue.php');
        $channel->put('red roses.mp4', 'video');
        $r = $channel->request('rename_queue.php');
        $this->assertSame('', $r->errors);
        $this->assertSame("Successfully Renamed red roses.mp4 to tulips.mp4<br>\n", $r->body);
        $this->assertSame(['tulips.mp4' => 'video'], $this->files($channel));

        $channel = new Channel('rename_queue.php');
        $channel->put('tulips.mp4', 'video');
        $r = $channel->request('rename_queue.php');
        $this->assertSame('', $r->errors);
        $this->assertSame('Error While Renaming roses.mp4: there is no such file; nothing was renamed.', $r->body);
        $this->assertSame(['tulips.mp4' => 'video'], $this->files($channel));
    }

    // A video's old page sends a visit, a look and a posted comment on to the new page with a 301, in UTF-8 and
    // encoded for an address, and stores nothing.
    public function testAMovedPageSendsEveryRequestOnToTheNewPage(): void
    {
        $channel = new Channel('moved.php');
        $server = new Server($channel->dir);
        $new = 'Bob%27s%20red%20ros%C3%A9.php';
        foreach (['GET' => [], 'HEAD' => [], 'POST' => ['text' => 'Hi', 'website' => '', 't' => token(10)]]
                 as $method => $post) {
            [$status, $headers, $body] = $server->fetch($method, 'moved.php', $post);
            $this->assertSame(301, $status, $method);
            $this->assertSame($new, $headers['location'] ?? '', $method);
            if ($method === 'GET') {
                $this->assertStringContainsString("<a href=\"$new\">Bob&#039;s red ros\u{E9}.php</a>", $body);
                $this->assertStringNotContainsString('Warning', $body);
            }
        }
        $this->assertSame(['moved.php'], array_keys($this->files($channel)), 'nothing stored');
    }
}
