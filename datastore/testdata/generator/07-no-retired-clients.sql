-- olb-dpa-gen --clients 40 --policies 20 --jobs 2000 --libraries 1 --pools 1 --unmapped-percent 0
set colsep , 
set trimspool on 
set heading off 
set echo off 
set linesize 32767 
-- No retired clients, so no jobs of theirs.
select count(DISTINCT f_client_name) || ',' || (count(*) between 100 and 300) from backupjob
 where f_client_name NOT IN (select f_name from nodes where f_type = 515);
exit
