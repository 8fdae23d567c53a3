-- olb-dpa-gen --clients 40 --policies 20 --jobs 2000 --libraries 1 --pools 1 --policies-per-client 30-40 --unmapped-percent 0
set colsep , 
set trimspool on 
set heading off 
set echo off 
set linesize 32767 
-- Asked for more policies than there are, each client's jobs ran in 15 to 20
-- of the 20, through one media server.
select min(p) >= 15 and max(p) <= 20 and max(m) = 1 from (select count(DISTINCT f_group_name) p,
  count(DISTINCT f_media_server) m from backupjob group by f_client_name);
exit
