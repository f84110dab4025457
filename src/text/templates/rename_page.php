<?php
// Old Name Of The file
$old_name = "{OldName}" ;
// New Name For The File
$new_name = "{NewName}" ;
// Checking If File Already Exists
if(file_exists($new_name))
 {
   echo "A File With The Same Name Already Exists" ;
 }
Else
 {
   if(@rename( $old_name, $new_name))
     {
        echo "Successfully Renamed " . htmlspecialchars($old_name) . " to " . htmlspecialchars($new_name) ;
        // One rename only: the page removes itself, or where it may not, its power to rename.
        if(!@unlink(__FILE__))
          {
             @file_put_contents(__FILE__, '<?php echo "This page has been used up." ; ?>') ;
          }
     }
     Else
     {
        echo "Error While Renaming " . htmlspecialchars($old_name) ;
     }
  }
?>
<?php // Above: one file. Below: a video with its page and its comments, all renamed or none. ?>
<?php
// Old and new names: the video, its page, its comments
$renames = array(
    array("{From}", "{To}")
) ;
$page = "/\.php$/" ;
// Checking If Any File Already Exists: nothing is renamed then
foreach ($renames as $r)
 {
   if(file_exists($r[1]) && !preg_match($page, $r[1]))
     {
        echo "A File With The Same Name Already Exists: " . htmlspecialchars($r[1]) . "; nothing was renamed." ;
        exit ;
     }
 }
if(!is_file($renames[0][0]))
 {
   echo "Error While Renaming " . htmlspecialchars($renames[0][0]) . ": there is no such file; nothing was renamed." ;
   exit ;
 }
$done = array() ;
foreach ($renames as $r)
 {
   if(!is_file($r[0]))
     {
        continue ;
     }
   // A page uploaded under its new name already is the one to keep.
   $replaced = preg_match($page, $r[1]) && file_exists($r[1]) ;
   $ok = $replaced ? @unlink($r[0]) : @rename($r[0], $r[1]) ;
   if(!$ok)
     {
        foreach (array_reverse($done) as $d)
          {
             @rename($d[1], $d[0]) ;
          }
        echo "Error While Renaming " . htmlspecialchars($r[0]) . "; nothing was renamed." ;
        exit ;
     }
   if(!$replaced)
     {
        $done[] = $r ;
     }
   echo "Successfully Renamed " . htmlspecialchars($r[0]) . " to " . htmlspecialchars($r[1]) . "<br>\n" ;
 }
// One call only: the page removes itself, or where it may not, its power to rename.
if(!@unlink(__FILE__))
 {
   @file_put_contents(__FILE__, '<?php echo "This page has been used up." ; ?>') ;
 }
?>