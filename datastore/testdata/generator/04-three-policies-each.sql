-- olb-dpa-gen --clients 40 --policies 20 --jobs 2000 --libraries 1 --pools 1 --policies-per-client 3
set colsep , 
set trimspool on 
set heading off 
set echo off 
set linesize 32767 
-- Each client's jobs ran in 3 of the policies, through one media server.
select min(p) >= 3 and max(p) <= 3 and max(m) = 1 from (select count(DISTINCT f_group_name) p,
  count(DISTINCT f_media_server) m from backupjob group by f_client_name);
exit
