<?php
// The generated rename page, each refusal and each acceptance: for one file (rename_one.php, "my $clip's.mp4" to
// "new & {$better}.mp4") and for a video with its comments (rename_pairs.php, roses to "red roses"), and two
// renames on one page (rename_queue.php, roses to "red roses", then to tulips).
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
    // file, the page's new version, a link.
    public function testNothingIsRenamedNorDeletedWhenAnyTargetHoldsOtherBytes(): void
    {
        foreach (['red roses.mp4', 'red roses_comments.txt'] as $there) {
            $channel = $this->roses();
            $channel->put($there, 'there');
            $r = $channel->request('rename_pairs.php');
            $this->assertSame('A File With The Same Name Already Exists: ' . $there . '; nothing was renamed.',
                $r->body);
            $this->assertSame([$there => 'there', 'roses.mp4' => 'video', 'roses.php' => 'page',
                'roses_comments.txt' => 'comments'], $this->files($channel));
            $this->assertTrue($channel->has('rename_pairs.php'));
        }
        $channel = $this->roses();
        symlink($channel->dir . '/roses.mp4', $channel->dir . '/red roses.mp4');
        $r = $channel->request('rename_pairs.php');
        $this->assertStringStartsWith('A File With The Same Name Already Exists: red roses.mp4', $r->body);
        $this->assertSame('video', $channel->file('roses.mp4'));
        $this->assertTrue(is_link($channel->dir . '/red roses.mp4'));
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
}
