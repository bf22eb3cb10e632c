-- The batches a period close of the demo company sends, as MORVESK_CLOSE_TRACE records
-- them: seeds of the mutation run, which runs them on a copy of the demo company.
GO
Update t Set t.FKFDate=b.FKFDate,t.FKFPeriod=b.FKFPeriod,t.FPeriodDate=b.FPeriodDate
From T_CC_StockBillEntry t Inner Join T_CC_StockBill a On t.FID=a.FID
Inner Join (Select c.FStockID,c.FItemID,c.FBatchNo,c.FAuxPropID,Max(IsNull(FKFDate,'1900-01-01')) As FKFDate,Max(FKFPeriod) As FKFPeriod,Max(IsNull(FPeriodDate,'1900-01-01')) As FPeriodDate
From vw_cc_Receive c Where c.FClassTypeID<>1040008 and c.FClassTypeID<>1020004 and c.FBillTypeID<>2041 and IsNull(FBatchNo,'') <> ''
Group By c.FStockID,c.FItemID,c.FBatchNo,c.FAuxPropID) b
On t.FItemID=b.FItemID And t.FBatchNo=b.FBatchNo And t.FAuxPropID=b.FAuxPropID
Where ((a.FClassTypeID=1020004 and a.FBillTypeID=2041) Or (a.FClassTypeID=1040008)) And (t.FDCStockID=b.FStockID Or t.FSCStockID=b.FStockID)
GO
Set NoCount On 
If Object_ID('tempdb..#TmpBal_1') Is Not Null Drop Table #TmpBal_1 
Create Table #TmpBal_1(FInterID varchar(24) null,FItemID int not null,FStockID int not null,FBatchNo varchar(200) not null default '',FBegQty decimal(28,10) not null default 0,FBegBal decimal(28,2) not null default 0,FReceive decimal(28,10) not null default 0,FDebit decimal(28,2) not null default 0,FSend decimal(28,10) not null default 0,FCredit decimal(28,2) not null default 0,FEndQty decimal(28,10) not null default 0,FEndBal decimal(28,2) not null default 0,FStockInDate datetime not null default '',FID int not null default 0,FEntryID int not null default 0,FClassTypeID int not null default 0) 
If Object_ID('tempdb..#TmpBal_2') Is Not Null Drop Table #TmpBal_2 
Create Table #TmpBal_2(FItemID int not null,FStockID int not null,FBatchNo varchar(255) not null default '',FAuxPropID int not null default 0,FBegQty decimal(28,10) not null default 0,FSecBegQty decimal(28,10) not null default 0,FBegBal decimal(28,2) not null default 0,FReceive decimal(28,10) not null default 0,FSecReceive decimal(28,10) not null default 0,FDebit decimal(28,2) not null default 0,FSend decimal(28,10) not null default 0,FSecSend decimal(28,10) not null default 0,FCredit decimal(28,2) not null default 0,FKFDate datetime null default '',FKFPeriod int null default 0,FPeriodDate datetime null default '') 
Insert Into #TmpBal_1(FInterID,FItemID,FStockID,FBatchNo,FBegQty,FBegBal,FReceive,FDebit,FSend,FCredit,FEndQty,FEndBal)
Select b.FinterID,b.FItemID,b.FStockID,b.FBatchNo,b.FBegQty,b.FBegBal,0,0,0,0,0,0
From t_CC_Bal b Inner Join t_ICItem t On b.FItemID=t.FItemID
Where t.FTrack<>78 And FPeriod=3 And FYear=2025 And (FBegQty<>0 Or FBegBal<>0)
Insert Into #TmpBal_1(FInterID,FItemID,FStockID,FBatchNo,FReceive,FDebit)
Select '100000000000000000000000' as FInterID,u.FItemID,u.FStockID,u.FBatchNo,Sum(u.FQty),Sum(u.FAmount)
From vw_CC_Receive u Inner Join t_ICItem t On u.FItemID=t.FItemID
Inner Join t_Stock s On u.FStockID=s.FItemID And s.FTypeID<>502
Where t.FTrack<>78 and t.FTrack=80 And u.FDate>='2025-03-01' And u.FDate<'2025-04-01'
Group By u.FStockID,u.FItemID,u.FBatchNo
Insert Into #TmpBal_1(FInterID,FItemID,FStockID,FBatchNo,FReceive,FDebit)
Select '100000000000000000000000' as FInterID,u.FItemID,u.FStockID,'' as FBatchNo,Sum(u.FQty),Sum(u.FAmount)
From vw_CC_Receive u Inner Join t_ICItem t On u.FItemID=t.FItemID
Inner Join t_Stock s On u.FStockID=s.FItemID And s.FTypeID<>502
Where t.FTrack<>78 and t.FTrack<>80 And u.FDate>='2025-03-01' And u.FDate<'2025-04-01'
Group By u.FStockID,u.FItemID
Insert Into #TmpBal_1(FItemID,FStockID,FBatchNo,FSend,FCredit)
Select u.FItemID,u.FStockID,u.FBatchNo,Sum(u.FQty),Sum(u.FAmount)
From vw_CC_Send u Inner Join t_ICItem t On u.FItemID=t.FItemID
Inner Join t_Stock s On u.FStockID=s.FItemID And s.FTypeID<>502
Where t.FTrack<>78 and t.FTrack=80 And u.FDate>='2025-03-01' And u.FDate<'2025-04-01'
Group By u.FStockID,u.FItemID,u.FBatchNo
Insert Into #TmpBal_1(FItemID,FStockID,FBatchNo,FSend,FCredit)
Select u.FItemID,u.FStockID,'' as FBatchNo,Sum(u.FQty),Sum(u.FAmount)
From vw_CC_Send u Inner Join t_ICItem t On u.FItemID=t.FItemID
Inner Join t_Stock s On u.FStockID=s.FItemID And s.FTypeID<>502
Where t.FTrack<>78 and t.FTrack<>80 And u.FDate>='2025-03-01' And u.FDate<'2025-04-01'
Group By u.FStockID,u.FItemID
Insert Into #TmpBal_1(FInterID,FItemID,FStockID,FBatchNo,FBegQty,FBegBal,FReceive,FDebit,FSend,FCredit,FEndQty,FEndBal,FStockInDate,FID,FEntryID,FClassTypeID)
Select b.FInterID,b.FItemID,b.FStockID,b.FBatchNo,b.FBegQty,b.FBegBal,b.FReceive,b.FDebit,b.FSend,b.FCredit,b.FEndQty,b.FEndBal,b.FStockInDate,b.FID,b.FEntryID,b.FClassTypeID
From t_CC_Bal b Inner Join t_ICItem t On b.FItemID=t.FItemID
Where t.FTrack=78 And FPeriod=3 And FYear=2025 And (FBegQty<>0 Or FBegBal<>0 or FReceive<>0 or FDebit<>0 )
update a set a.FSend=t.FSendQty,a.FCredit=t.FSendAmount
 from #TmpBal_1 a 
Inner Join (Select u.FStockID,u.FItemID,u.FInterID,sum(u.FQty) as FSendQty,sum(u.FAmount) as FSendAmount
From icspeedbal u Inner Join t_ICItem t On u.FItemID=t.FItemID
Inner Join t_Stock s On u.FStockID=s.FItemID And s.FTypeID<>502
Where t.FTrack=78 And u.FDate>='2025-03-01' And u.FDate<'2025-04-01'
Group By u.FStockID,u.FItemID,u.FInterID) t
on a.FItemID=t.FItemID and a.FStockID=t.FStockID and a.FinterID=t.FInterID
GO
Delete From t_CC_Bal Where FYear=2025 And FPeriod=3
Insert Into t_CC_Bal(FInterID,FYear,FPeriod,FStockID,FItemID,FBatchNo,FBegQty,FBegBal,FReceive,FDebit,FSend,FCredit,FStockInDate,FID,FEntryID,FClassTypeID)
Select '100000000000000000000000',2025,3,u.FStockID,u.FItemID,u.FBatchNo,Sum(u.FBegQty),Sum(u.FBegBal),Sum(u.FReceive),Sum(u.FDebit),Sum(u.FSend),Sum(u.FCredit),'1900-01-01',0,0,0
From #TmpBal_1 u Inner Join t_ICItem ic On u.FItemID=ic.FItemID
Where not ic.FTrack=78
Group By u.FStockID,u.FItemID,u.FBatchNo
Insert Into t_CC_Bal(FInterID,FYear,FPeriod,FStockID,FItemID,FBatchNo,FBegQty,FBegBal,FReceive,FDebit,FSend,FCredit,FStockInDate,FID,FEntryID,FClassTypeID)
Select u.FInterID,2025,3,u.FStockID,u.FItemID,u.FBatchNo,u.FBegQty,u.FBegBal,u.FReceive,u.FDebit,u.FSend,u.FCredit,u.FStockInDate,u.FID,u.FEntryID,u.FClassTypeID
From #TmpBal_1 u Inner Join t_ICItem ic On u.FItemID=ic.FItemID
Where ic.FTrack=78
delete from #TmpBal_1 
GO
Delete From t_CC_Bal Where FYear=2025 And FPeriod=3 And FBegQty=0 And FBegBal=0 And FReceive=0 And FDebit=0 And FSend=0 And FCredit=0 
Update t_CC_Bal Set FEndQty=FBegQty+FReceive-FSend,
FEndBal=FBegBal+FDebit-FCredit
Where FYear=2025 And FPeriod=3
GO
Insert Into #TmpBal_2(FItemID,FStockID,FBatchNo,FAuxPropID,FBegQty,FSecBegQty,FBegBal,FKFDate,FKFPeriod,FPeriodDate)
Select FItemID,FStockID,FBatchNo,FAuxPropID,FBegQty,FSecBegQty,FBegBal,FKFDate,FKFPeriod,FPeriodDate
From t_cc_Stock
Where FPeriod=3 And FYear=2025 And (FBegQty<>0 Or FSecBegQty<>0 Or FBegBal<>0 )
Insert Into #TmpBal_2(FItemID,FStockID,FBatchNo,FAuxPropID,FReceive,FSecReceive,FDebit,FKFDate,FKFPeriod,FPeriodDate)
Select c.FItemID,c.FStockID,c.FBatchNo,c.FAuxPropID,c.FQty,c.FSecQty,c.FAmount,c.FKFDate,c.FKFPeriod,c.FPeriodDate
From vw_cc_Receive c Inner Join t_ICItem s On c.FItemID=s.FItemID
Where (s.FTrack = 80) And c.FDate>='2025-03-01' And c.FDate<'2025-04-01'
 And Isnull(c.FStatus,0)<>0 and ((c.FClassTypeID<>1040008 and c.FClassTypeID<>1020004) or (c.FClassTypeID=1020004 and c.FBillTypeID=2042) or ((c.FClassTypeID=1040008 or (c.FClassTypeID=1020004 and c.FBillTypeID<>2042)) and s.FISAuxi=0))
Insert Into #TmpBal_2(FItemID,FStockID,FBatchNo,FAuxPropID,FReceive,FSecReceive,FDebit,FKFDate,FKFPeriod,FPeriodDate)
Select c.FItemID,c.FStockID,'' as FBatchNo,c.FAuxPropID,c.FQty,c.FSecQty,c.FAmount,'','',''
From vw_cc_Receive c Inner Join t_ICItem s On c.FItemID=s.FItemID
Where (s.FTrack = 76 OR s.FTrack = 77 OR s.FTrack = 78) And c.FDate>='2025-03-01' And c.FDate<'2025-04-01'
 And Isnull(c.FStatus,0)<>0 and ((c.FClassTypeID<>1040008 and c.FClassTypeID<>1020004) or (c.FClassTypeID=1020004 and c.FBillTypeID=2042) or ((c.FClassTypeID=1040008 or (c.FClassTypeID=1020004 and c.FBillTypeID<>2042)) and s.FISAuxi=0))
Insert Into #TmpBal_2(FItemID,FStockID,FBatchNo,FAuxPropID,FSend,FSecSend,FCredit,FKFDate,FKFPeriod,FPeriodDate)
Select c.FItemID,c.FStockID,c.FBatchNo,c.FAuxPropID,c.FQty,c.FSecQty,c.FAmount,c.FKFDate,c.FKFPeriod,c.FPeriodDate
From vw_cc_Send c Inner Join t_ICItem s On c.FItemID=s.FItemID
Where (s.FTrack = 80) And c.FDate>='2025-03-01' And c.FDate<'2025-04-01' And Isnull(c.FStatus,0)<>0
Insert Into #TmpBal_2(FItemID,FStockID,FBatchNo,FAuxPropID,FSend,FSecSend,FCredit,FKFDate,FKFPeriod,FPeriodDate)
Select c.FItemID,c.FStockID,'' as FBatchNo,c.FAuxPropID,c.FQty,c.FSecQty,c.FAmount,'','',''
From vw_cc_Send c Inner Join t_ICItem s On c.FItemID=s.FItemID
Where (s.FTrack = 76 OR s.FTrack = 77 OR s.FTrack = 78) And c.FDate>='2025-03-01' And c.FDate<'2025-04-01' And Isnull(c.FStatus,0)<>0
GO
update #TmpBal_2 set FKFDate='1900-01-01',FPeriodDate='1900-01-01' where FKFDate is null  and FPeriodDate is null
GO
select c.* from vw_cc_Receive c inner join t_ICItem b on c.FItemID=b.FItemID
Where (b.FTrack = 80) And c.FDate>='2025-03-01' And c.FDate<'2025-04-01' And Isnull(c.FStatus,0)<>0 and ((c.FClassTypeID=1040008 or (c.FClassTypeID=1020004 and c.FBillTypeID<>2042)) and b.FISAuxi=1) 
GO
Declare @Amount decimal(28,10)
 Declare @Qty decimal(28,10)
 select @Amount=sum(FBegBal+FDebit-FCredit),@Qty=sum(FBegQty+FReceive-FSend)
 from #TmpBal_2 
 Where FStockID=102 and FItemID=1007 and FBatchNo='P01'
 if @Amount<>0 
 update #TmpBal_2 set FDebit=FDebit+round(((FBegBal+FDebit-FCredit)/@Amount)*100,2)
 Where FStockID=102 and FItemID=1007 and FBatchNo='P01'
 else
 begin
 if @Qty<>0 
 update #TmpBal_2 set FDebit=FDebit+round(((FBegQty+FReceive-FSend)/@Qty)*100,2)
 Where FStockID=102 and FItemID=1007 and FBatchNo='P01'
 end 
GO
select c.* from vw_cc_Receive c inner join t_ICItem b on c.FItemID=b.FItemID
Where (b.FTrack = 76 OR b.FTrack = 77 OR b.FTrack = 78) And c.FDate>='2025-03-01' And c.FDate<'2025-04-01' And Isnull(c.FStatus,0)<>0 and ((c.FClassTypeID=1040008 or (c.FClassTypeID=1020004 and c.FBillTypeID<>2042)) and b.FISAuxi=1) 
GO
Declare @Amount decimal(28,10)
 Declare @Qty decimal(28,10)
 select @Amount=sum(FBegBal+FDebit-FCredit),@Qty=sum(FBegQty+FReceive-FSend)
 from #TmpBal_2 
 Where FStockID=101 and FItemID=1002 and FBatchNo=''
 if @Amount<>0 
 update #TmpBal_2 set FDebit=FDebit+round(((FBegBal+FDebit-FCredit)/@Amount)*50,2)
 Where FStockID=101 and FItemID=1002 and FBatchNo=''
 else
 begin
 if @Qty<>0 
 update #TmpBal_2 set FDebit=FDebit+round(((FBegQty+FReceive-FSend)/@Qty)*50,2)
 Where FStockID=101 and FItemID=1002 and FBatchNo=''
 end 
GO
Update #TmpBal_2 set FKFPeriod=A.FKFPeriod,FPeriodDate=A.FPeriodDate from
(Select FStockID,FItemID,FBatchNo,FAuxPropID,min(FKFPeriod) as FKFPeriod,min(FPeriodDate) as FPeriodDate From #TmpBal_2
Group By FStockID,FItemID,FBatchNo,FAuxPropID) A
Inner Join #TmpBal_2 B On A.FStockID=B.FStockID And A.FItemID=B.FItemID And A.FBatchNo=B.FBatchNo And A.FAuxPropID=B.FAuxPropID
Delete From t_CC_Stock Where FYear=2025 And FPeriod=3
Insert Into t_CC_Stock(FYear,FPeriod,FStockID,FItemID,FBatchNo,FAuxPropID,FBegQty,FSecBegQty,FBegBal,FReceive,FSecReceive,FDebit,FSend,FSecSend,FCredit,FKFDate,FKFPeriod,FPeriodDate)
Select 2025,3,FStockID,FItemID,FBatchNo,FAuxPropID,Sum(FBegQty),Sum(FSecBegQty),Sum(FBegBal),Sum(FReceive),Sum(FSecReceive),Sum(FDebit),Sum(FSend),Sum(FSecSend),Sum(FCredit),FPeriodDate-FKFPeriod,FKFPeriod,FPeriodDate
From #TmpBal_2 Group By FStockID,FItemID,FBatchNo,FAuxPropID,FKFPeriod,FPeriodDate 
Drop Table #TmpBal_2 
GO
Update t_CC_Stock Set FEndQty=FBegQty+FReceive-FSend,FSecEndQty=FSecBegQty+FSecReceive-FSecSend,
FEndBal=FBegBal+FDebit-FCredit
Where FYear=2025 And FPeriod=3
GO
Select IsNull(FValue,'') from t_SystemProFile where Fcategory='GL' and Fkey='PeriodCount'
GO
Update t_SystemProfile Set FValue='2025' where Fcategory='IC' and Fkey='CurrentYear'
Update t_SystemProfile Set FValue='4'
 where Fcategory='IC' and Fkey='CurrentPeriod'
 update t_SystemProfile set FValue = '0' WHERE FCategory = 'Base' and FKey = 'AcctountingClosed' 
GO
delete from t_CC_Bal where FYear=2025 And FPeriod=4
Insert Into t_CC_Bal(FInterID,FYear,FPeriod,FStockID,FItemID,FBatchNo,FBegQty,FBegBal,FStockInDate,FID,FEntryID,FClassTypeID)
Select FInterID,2025,4,FStockID,FItemID,FBatchNo,FEndQty,FEndBal,FStockInDate,FID,FEntryID,FClassTypeID
From t_CC_Bal
Where FYear=2025 And FPeriod=3 And (FEndQty<>0 Or FEndBal<>0)
GO
Insert Into #TmpBal_1(FInterID,FItemID,FStockID,FBatchNo,FStockInDate,FBegQty,FBegBal,FReceive,FDebit,FSend,FCredit,FEndQty,FEndBal)
Select u.FInterID,u.FItemID,u.FStockID,u.FBatchNo,u.FStockInDate,u.FBegQty,u.FBegBal,u.FReceive,u.FDebit,u.FSend,u.FCredit,u.FEndQty,u.FEndBal
From t_CC_Bal u Inner Join t_ICItem t On u.FItemID=t.FItemID And t.FTrack=78
Where u.FYear=2025 And u.FPeriod=4
delete t_CC_Bal from t_CC_Bal u inner join t_ICItem t on u.FItemID=t.FItemID and t.FTrack=78 
Where u.FYear=2025 And u.FPeriod=4
Insert Into t_CC_Bal(FInterID,FYear,FPeriod,FStockID,FItemID,FBatchNo,FBegQty,FBegBal,FStockInDate,FID,FEntryID,FClassTypeID)
Select '100000000000000000000000',2025,4,u.FStockID,u.FItemID,'' as FBatchNo,Sum(u.FBegQty),Sum(u.FbegBal),'2025-03-31',0 FID,0 FEntryID,0 FClassTypeID 
From #TmpBal_1 u Inner Join (Select Distinct FStockID,FItemID From #TmpBal_1 Where FInterID='200000000000000000000000' or (FBegQty<>0 and FbegBal=0) or (FBegQty=0 and FbegBal<>0) or FBegQty<0 or FbegBal<0) p On u.FStockID=p.FStockID And u.FItemID=p.FItemID
Group By u.FStockID,u.FItemID
delete #TmpBal_1 from #TmpBal_1 t
Inner Join (Select Distinct FStockID,FItemID From #TmpBal_1 Where FInterID='200000000000000000000000' or (FBegQty<>0 and FbegBal=0) or (FBegQty=0 and FbegBal<>0) or FBegQty<0 or FbegBal<0) p On t.FStockID=p.FStockID And t.FItemID=p.FItemID
GO
select isnull(max(FIdentity),0)+1 from t_cc_Bal where FYear=2025 and FPeriod=4
GO
If Object_ID('tempdb..#TmpBal_max') Is Not Null Drop Table #TmpBal_max 
Select '1000000'+ substring(u.FinterID,8,17) as FInterID,2025 as FYear,4 as FPeriod,u.FItemID,u.FStockID,u.FBatchNo,u.FStockInDate,u.FBegQty,u.FBegBal,u.FReceive,u.FDebit,u.FSend,u.FCredit,u.FEndQty,u.FEndBal,identity(int,57,1) as FID
Into #TmpBal_max
From #TmpBal_1 u Inner Join t_ICItem t On u.FItemID=t.FItemID And t.FTrack=78
 update #TmpBal_max set FinterID=substring(FinterID,1,7)+substring('00000000000000000',1,17-len(fid))+CONVERT(varchar(20),fid)
Insert Into t_CC_Bal(FInterID,FYear,FPeriod,FItemID,FStockID,FBatchNo,FStockInDate,FBegQty,FBegBal,FReceive,FDebit,FSend,FCredit,FEndQty,FEndBal,FID)
 select * from #TmpBal_max 
 update b set b.FinterID=substring(b.FinterID,1,24-len(b.FIdentity))+CONVERT(varchar(20),b.FIdentity)
 from t_cc_bal b inner join t_ICItem t on b.FItemID=t.FItemID and t.FTrack=78
 where b.FYear=2025 and b.FPeriod=4
Drop Table #TmpBal_max 
Drop Table #TmpBal_1 
GO
Insert Into t_cc_Stock(FYear,FPeriod,FStockID,FItemID,FBatchNo,FAuxPropID,FBegQty,FSecBegQty,FBegBal,FKFDate,FKFPeriod,FPeriodDate)
Select 2025,4,FStockID,FItemID,FBatchNo,FAuxPropID,FEndQty,FSecEndQty,FEndBal,FKFDate,FKFPeriod,FPeriodDate
From t_cc_Stock
Where FYear=2025 And FPeriod=3
GO
Delete From TempWriteBack 
Delete From CalculateLog 
GO
Set NoCount On
Update t Set t.FKFDate=b.FKFDate,t.FKFPeriod=b.FKFPeriod,t.FPeriodDate=b.FPeriodDate
From T_CC_StockBillEntry t Inner Join T_CC_StockBill a On t.FID=a.FID
Inner Join (Select c.FStockID,c.FItemID,c.FBatchNo,c.FAuxPropID,Max(IsNull(FKFDate,'1900-01-01')) As FKFDate,Max(FKFPeriod) As FKFPeriod,Max(IsNull(FPeriodDate,'1900-01-01')) As FPeriodDate
From vw_cc_Receive c Where c.FClassTypeID<>1040008 and c.FClassTypeID<>1020004 and c.FBillTypeID<>2041 and IsNull(FBatchNo,'') <> ''
Group By c.FStockID,c.FItemID,c.FBatchNo,c.FAuxPropID) b
On t.FItemID=b.FItemID And t.FBatchNo=b.FBatchNo And t.FAuxPropID=b.FAuxPropID
Where ((a.FClassTypeID=1020004 and a.FBillTypeID=2041) Or (a.FClassTypeID=1040008)) And (t.FDCStockID=b.FStockID Or t.FSCStockID=b.FStockID)
If Object_ID('tempdb..#TmpBal_2_2') Is Not Null Drop Table #TmpBal_2_2 
Create Table #TmpBal_2_2(
FClassTypeID int not null,
FBillTypeID int not null,
FItemID int not null,
FStockID int not null,
FBatchNo varchar(255) not null default '',
FAuxPropID int not null default 0,
FBegQty decimal(28,10) not null default 0,
FSecBegQty decimal(28,10) not null default 0,
FBegBal decimal(28,10) not null default 0,
FReceive decimal(28,10) not null default 0,
FSecReceive decimal(28,10) not null default 0,
FDebit decimal(28,10) not null default 0,
FSend decimal(28,10) not null default 0,
FSecSend decimal(28,10) not null default 0,
FCredit decimal(28,10) not null default 0,
FKFDate DateTime null default '',
FKFPeriod int null default 0,
FPeriodDate DateTime null default '')
--插入期初数据
Insert Into #TmpBal_2_2(FClassTypeID,FBillTypeID,FItemID,FStockID,FBatchNo,FAuxPropID,FBegQty,FSecBegQty,FBegBal,FKFDate,FKFPeriod,FPeriodDate)
Select 0,0,FItemID,FStockID,FBatchNo,FAuxPropID,FBegQty,FSecBegQty,FBegBal,FKFDate,FKFPeriod,FPeriodDate From t_cc_Stock_batchno
Where FPeriod=3 And FYear=2025 And (FBegQty<>0 Or FBegBal<>0 )
delete oi from  #TmpBal_2_2 oi, t_ICItem di
Where oi.FItemID=di.FItemID and di.FISBatchManager = 1 and di.FBatchManager = 1 AND di.FTrack = 80 and di.FISAuxi = 1 and oi.FAuxPropID = 0
delete oi from  #TmpBal_2_2 oi, t_ICItem di
Where oi.FItemID=di.FItemID and di.FISBatchManager = 1 and di.FBatchManager = 1 AND di.FTrack = 80 and di.FKFPeriod = 1 and (oi.FPeriodDate Is Null Or oi.FPeriodDate = '1900-01-01 00:00:00.000')
delete oi from  #TmpBal_2_2 oi, t_ICItem di
Where oi.FItemID=di.FItemID and di.FISBatchManager = 1 and di.FBatchManager = 0 AND di.FTrack <> 80 and di.FISAuxi = 1 and oi.FAuxPropID = 0
delete oi from  #TmpBal_2_2 oi, t_ICItem di
Where oi.FItemID=di.FItemID and di.FISBatchManager = 1 and di.FBatchManager = 0 AND di.FTrack <> 80 and di.FKFPeriod = 1 and (oi.FPeriodDate Is Null Or oi.FPeriodDate = '1900-01-01 00:00:00.000')
delete oi from  #TmpBal_2_2 oi, t_ICItem di
Where oi.FItemID=di.FItemID and di.FISAuxi = 1 and oi.FAuxPropID = 0
delete oi from  #TmpBal_2_2 oi, t_ICItem di
Where oi.FItemID=di.FItemID and di.FKFPeriod = 1 and (oi.FPeriodDate Is Null Or oi.FPeriodDate = '1900-01-01 00:00:00.000')
--插入本期收入
Insert Into #TmpBal_2_2(FClassTypeID,FBillTypeID,FItemID,FStockID,FBatchNo,FAuxPropID,FReceive,FSecReceive,FDebit,FKFDate,FKFPeriod,FPeriodDate)
Select c.FClassTypeID,c.FBillTypeID,c.FItemID,c.FStockID,c.FBatchNo,c.FAuxPropID,c.FQty,c.FSecQty,c.FAmount,c.FKFDate,c.FKFPeriod,c.FPeriodDate
From vw_cc_Receive c Inner Join t_ICItem i On c.FItemID=i.FItemID
Where c.FDate>='2025-03-01' And c.FDate<'2025-04-01' And IsNull(c.FStatus,0)<>0
And not(FClassTypeID = 1020004 and (FbillTypeID = 2040 or FbillTypeID = 2041)) and not(FClassTypeID =  1040008)
--插入本期发出
Insert Into #TmpBal_2_2(FClassTypeID,FBillTypeID,FItemID,FStockID,FBatchNo,FAuxPropID,FSend,FSecSend,FCredit,FKFDate,FKFPeriod,FPeriodDate)
Select c.FClassTypeID,c.FBillTypeID,c.FItemID,c.FStockID,c.FBatchNo,c.FAuxPropID,c.FQty,c.FSecQty,c.FAmount,c.FKFDate,c.FKFPeriod,c.FPeriodDate
From vw_cc_Send c Inner Join t_ICItem i On c.FItemID=i.FItemID
Where c.FDate>='2025-03-01' And c.FDate<'2025-04-01' And IsNull(c.FStatus,0)<>0
And not(FClassTypeID = 1030004 and (FbillTypeID = 3020 or FbillTypeID = 3021)) and not(FClassTypeID =  1040008)
--更新FKFDate，FKFPeriod,FPeriodDate
Update #TmpBal_2_2 Set FKFDate='1900-01-01' Where FKFDate Is Null
Update #TmpBal_2_2 Set FKFPeriod=0 Where FKFPeriod Is Null
Update #TmpBal_2_2 Set FPeriodDate='1900-01-01' Where FPeriodDate Is Null

GO
Select 2025 as FYear,3 as FPeriod,FStockID,FItemID,FBatchNo,FAuxPropID,Sum(FBegQty) as FBegQty,Sum(FSecBegQty) as FSecBegQty,Sum(FBegBal) as FBegBal,Sum(FReceive) as FReceive,Sum(FSecReceive) as FSecReceive,Sum(FDebit) as FDebit,Sum(FSend) as FSend,Sum(FSecSend) as FSecSend,Sum(FCredit) as FCredit,
(FPeriodDate-FKFPeriod) as FKFDate,FKFPeriod,FPeriodDate
into #t_CC_Stock_BatchNo
From #TmpBal_2_2 Group By FStockID,FItemID,FBatchNo,FAuxPropID,FKFPeriod,FPeriodDate
GO
select *  
  into #T_CC_InventoryAll 
  From  #t_CC_Stock_BatchNo t 
GO
SET NOCOUNT ON Declare @CalculateType int 
select @CalculateType=isnull(FValue,1) from t_systemprofile where FCategory = 'IC' and FKey = 'CalculateType' 
select t.fitemid,t.FBatchNo,(case when @CalculateType = 0 then 0 else t.FStockID end) as FStockID,sum(FQty) as FQty,sum(FSecQty) as FSecQty,sum(FAmount) as FBal  
  from vw_cc_Receive t 
  inner join t_ICItem s on t.FItemID=s.FItemID and s.FISBatchManager=1 and s.FBatchManager = 1 AND s.FTrack = 80 AND t.FBatchNo <> ''
Where t.FDate>='2025-03-01'
  And t.FDate<'2025-04-01'
  And Isnull(t.FStatus,0)<>0 and (t.FClassTypeID=1040008 or (t.FClassTypeID=1020004 and (FbillTypeID = 2040 or FbillTypeID = 2041))) 
group by t.fitemid,(case when @CalculateType = 0 then 0 else t.FStockID end),t.FBatchNo 
GO
Declare @Amount decimal(28,10)
 Declare @Qty decimal(28,10)
 Declare @fitemid int
 Declare @FBatchNo varchar(255)
 Declare @FStockID int
 select sum(FBegBal+FDebit-FCredit) AS FAmount,
 sum(FBegQty+FReceive-FSend) as FQty,
 t.fitemid,
 t.FAuxPropID,
 t.FBatchNo,
 t.FStockID,
 t.FKfPeriod,
 t.FPeriodDate
 into #DUAT_CC_Bal
 from #t_CC_Stock_BatchNo t
   inner join t_ICItem s on t.FItemID=s.FItemID and s.FISBatchManager=1 and s.FBatchManager = 1 AND s.FTrack = 80 AND t.FBatchNo <> ''
 Where 
   t.FStockID=101
   and t.FItemID=1006
   and t.FBatchNo='B2501'
 group by t.fitemid,t.FAuxPropID,t.FBatchNo,t.FStockID,t.FKfPeriod,t.FPeriodDate  
 select @Amount=sum(FBegBal+FDebit-FCredit),
 @Qty=sum(FBegQty+FReceive-FSend), 
 @fitemid=t.fitemid,
 @FBatchNo=t.FBatchNo,
 @FStockID=t.FStockID
 from #t_CC_Stock_BatchNo t
   inner join t_ICItem s on t.FItemID=s.FItemID and s.FISBatchManager=1 and s.FBatchManager = 1 AND s.FTrack = 80 AND t.FBatchNo <> ''
 Where 
   t.FStockID=101
   and t.FItemID=1006
   and t.FBatchNo='B2501'
 group by t.fitemid,t.FBatchNo,t.FStockID
 select distinct oi.fitemid,oi.FStockID
   into #exp_CC_Bal 
   from #t_CC_Stock_BatchNo oi, #DUAT_CC_Bal duai 
   Where (oi.FBegBal+oi.FDebit-oi.FCredit) <> 0 and oi.fitemid = duai.fitemid and oi.FAuxPropID = duai.FAuxPropID and oi.FStockID = duai.FStockID and oi.FKfPeriod= duai.FKfPeriod 
     and oi.FPeriodDate= duai.FPeriodDate and oi.FBatchNo= duai.FBatchNo 
     and oi.FStockID=@FStockID
     and oi.FItemID=@fitemid
     and oi.FBatchNo=@FBatchNo
   update oi set oi.FDebit = oi.FDebit + round(((-20) * (duai.FAmount) / (@Amount)),2)
   from #t_CC_Stock_BatchNo oi, #DUAT_CC_Bal duai 
   Where (oi.FBegBal+oi.FDebit-oi.FCredit) <> 0 and oi.fitemid = duai.fitemid and oi.FAuxPropID = duai.FAuxPropID and oi.FStockID = duai.FStockID and oi.FKfPeriod= duai.FKfPeriod 
     and oi.FPeriodDate= duai.FPeriodDate and oi.FBatchNo= duai.FBatchNo 
     and oi.FStockID=@FStockID
     and oi.FItemID=@fitemid
     and oi.FBatchNo=@FBatchNo
     and @Amount <> 0 
   delete  oi 
   from #T_CC_InventoryAll oi, #exp_CC_Bal doi 
   Where oi.fitemid = doi.fitemid and oi.FStockID = doi.FStockID 
     and oi.FStockID=@FStockID
     and oi.FItemID=@fitemid
   update oi set oi.FDebit = oi.FDebit + round(((-20) * (duai.FQty) / (@qty)),10)
   from #t_CC_Stock_BatchNo oi, #DUAT_CC_Bal duai, #T_CC_InventoryAll aoi 
   Where (oi.FBegBal+oi.FDebit-oi.FCredit) = 0 and (oi.FBegQty+oi.FReceive-oi.FSend) <> 0 and oi.fitemid = duai.fitemid and oi.FAuxPropID = duai.FAuxPropID and oi.FStockID = duai.FStockID and oi.FKfPeriod= duai.FKfPeriod 
     and oi.FPeriodDate= duai.FPeriodDate and oi.FBatchNo= duai.FBatchNo 
     and oi.fitemid = aoi.fitemid and oi.FStockID = aoi.FStockID 
     and oi.FStockID=@FStockID
     and oi.FItemID=@fitemid
     and oi.FBatchNo=@FBatchNo
     and @qty <> 0 
 drop table #DUAT_CC_Bal 
 drop table #exp_CC_Bal 

GO
Declare @Amount decimal(28,10)
 Declare @Qty decimal(28,10)
 Declare @fitemid int
 Declare @FBatchNo varchar(255)
 Declare @FStockID int
 select sum(FBegBal+FDebit-FCredit) AS FAmount,
 sum(FBegQty+FReceive-FSend) as FQty,
 t.fitemid,
 t.FAuxPropID,
 t.FBatchNo,
 t.FStockID,
 t.FKfPeriod,
 t.FPeriodDate
 into #DUAT_CC_Bal
 from #t_CC_Stock_BatchNo t
   inner join t_ICItem s on t.FItemID=s.FItemID and s.FISBatchManager=1 and s.FBatchManager = 1 AND s.FTrack = 80 AND t.FBatchNo <> ''
 Where 
   t.FStockID=101
   and t.FItemID=1006
   and t.FBatchNo='B2503'
 group by t.fitemid,t.FAuxPropID,t.FBatchNo,t.FStockID,t.FKfPeriod,t.FPeriodDate  
 select @Amount=sum(FBegBal+FDebit-FCredit),
 @Qty=sum(FBegQty+FReceive-FSend), 
 @fitemid=t.fitemid,
 @FBatchNo=t.FBatchNo,
 @FStockID=t.FStockID
 from #t_CC_Stock_BatchNo t
   inner join t_ICItem s on t.FItemID=s.FItemID and s.FISBatchManager=1 and s.FBatchManager = 1 AND s.FTrack = 80 AND t.FBatchNo <> ''
 Where 
   t.FStockID=101
   and t.FItemID=1006
   and t.FBatchNo='B2503'
 group by t.fitemid,t.FBatchNo,t.FStockID
 select distinct oi.fitemid,oi.FStockID
   into #exp_CC_Bal 
   from #t_CC_Stock_BatchNo oi, #DUAT_CC_Bal duai 
   Where (oi.FBegBal+oi.FDebit-oi.FCredit) <> 0 and oi.fitemid = duai.fitemid and oi.FAuxPropID = duai.FAuxPropID and oi.FStockID = duai.FStockID and oi.FKfPeriod= duai.FKfPeriod 
     and oi.FPeriodDate= duai.FPeriodDate and oi.FBatchNo= duai.FBatchNo 
     and oi.FStockID=@FStockID
     and oi.FItemID=@fitemid
     and oi.FBatchNo=@FBatchNo
   update oi set oi.FDebit = oi.FDebit + round(((50) * (duai.FAmount) / (@Amount)),2)
   from #t_CC_Stock_BatchNo oi, #DUAT_CC_Bal duai 
   Where (oi.FBegBal+oi.FDebit-oi.FCredit) <> 0 and oi.fitemid = duai.fitemid and oi.FAuxPropID = duai.FAuxPropID and oi.FStockID = duai.FStockID and oi.FKfPeriod= duai.FKfPeriod 
     and oi.FPeriodDate= duai.FPeriodDate and oi.FBatchNo= duai.FBatchNo 
     and oi.FStockID=@FStockID
     and oi.FItemID=@fitemid
     and oi.FBatchNo=@FBatchNo
     and @Amount <> 0 
   delete  oi 
   from #T_CC_InventoryAll oi, #exp_CC_Bal doi 
   Where oi.fitemid = doi.fitemid and oi.FStockID = doi.FStockID 
     and oi.FStockID=@FStockID
     and oi.FItemID=@fitemid
   update oi set oi.FDebit = oi.FDebit + round(((50) * (duai.FQty) / (@qty)),10)
   from #t_CC_Stock_BatchNo oi, #DUAT_CC_Bal duai, #T_CC_InventoryAll aoi 
   Where (oi.FBegBal+oi.FDebit-oi.FCredit) = 0 and (oi.FBegQty+oi.FReceive-oi.FSend) <> 0 and oi.fitemid = duai.fitemid and oi.FAuxPropID = duai.FAuxPropID and oi.FStockID = duai.FStockID and oi.FKfPeriod= duai.FKfPeriod 
     and oi.FPeriodDate= duai.FPeriodDate and oi.FBatchNo= duai.FBatchNo 
     and oi.fitemid = aoi.fitemid and oi.FStockID = aoi.FStockID 
     and oi.FStockID=@FStockID
     and oi.FItemID=@fitemid
     and oi.FBatchNo=@FBatchNo
     and @qty <> 0 
 drop table #DUAT_CC_Bal 
 drop table #exp_CC_Bal 

GO
Declare @Amount decimal(28,10)
 Declare @Qty decimal(28,10)
 Declare @fitemid int
 Declare @FBatchNo varchar(255)
 Declare @FStockID int
 select sum(FBegBal+FDebit-FCredit) AS FAmount,
 sum(FBegQty+FReceive-FSend) as FQty,
 t.fitemid,
 t.FAuxPropID,
 t.FBatchNo,
 t.FStockID,
 t.FKfPeriod,
 t.FPeriodDate
 into #DUAT_CC_Bal
 from #t_CC_Stock_BatchNo t
   inner join t_ICItem s on t.FItemID=s.FItemID and s.FISBatchManager=1 and s.FBatchManager = 1 AND s.FTrack = 80 AND t.FBatchNo <> ''
 Where 
   t.FStockID=102
   and t.FItemID=1007
   and t.FBatchNo='P01'
 group by t.fitemid,t.FAuxPropID,t.FBatchNo,t.FStockID,t.FKfPeriod,t.FPeriodDate  
 select @Amount=sum(FBegBal+FDebit-FCredit),
 @Qty=sum(FBegQty+FReceive-FSend), 
 @fitemid=t.fitemid,
 @FBatchNo=t.FBatchNo,
 @FStockID=t.FStockID
 from #t_CC_Stock_BatchNo t
   inner join t_ICItem s on t.FItemID=s.FItemID and s.FISBatchManager=1 and s.FBatchManager = 1 AND s.FTrack = 80 AND t.FBatchNo <> ''
 Where 
   t.FStockID=102
   and t.FItemID=1007
   and t.FBatchNo='P01'
 group by t.fitemid,t.FBatchNo,t.FStockID
 select distinct oi.fitemid,oi.FStockID
   into #exp_CC_Bal 
   from #t_CC_Stock_BatchNo oi, #DUAT_CC_Bal duai 
   Where (oi.FBegBal+oi.FDebit-oi.FCredit) <> 0 and oi.fitemid = duai.fitemid and oi.FAuxPropID = duai.FAuxPropID and oi.FStockID = duai.FStockID and oi.FKfPeriod= duai.FKfPeriod 
     and oi.FPeriodDate= duai.FPeriodDate and oi.FBatchNo= duai.FBatchNo 
     and oi.FStockID=@FStockID
     and oi.FItemID=@fitemid
     and oi.FBatchNo=@FBatchNo
   update oi set oi.FDebit = oi.FDebit + round(((100) * (duai.FAmount) / (@Amount)),2)
   from #t_CC_Stock_BatchNo oi, #DUAT_CC_Bal duai 
   Where (oi.FBegBal+oi.FDebit-oi.FCredit) <> 0 and oi.fitemid = duai.fitemid and oi.FAuxPropID = duai.FAuxPropID and oi.FStockID = duai.FStockID and oi.FKfPeriod= duai.FKfPeriod 
     and oi.FPeriodDate= duai.FPeriodDate and oi.FBatchNo= duai.FBatchNo 
     and oi.FStockID=@FStockID
     and oi.FItemID=@fitemid
     and oi.FBatchNo=@FBatchNo
     and @Amount <> 0 
   delete  oi 
   from #T_CC_InventoryAll oi, #exp_CC_Bal doi 
   Where oi.fitemid = doi.fitemid and oi.FStockID = doi.FStockID 
     and oi.FStockID=@FStockID
     and oi.FItemID=@fitemid
   update oi set oi.FDebit = oi.FDebit + round(((100) * (duai.FQty) / (@qty)),10)
   from #t_CC_Stock_BatchNo oi, #DUAT_CC_Bal duai, #T_CC_InventoryAll aoi 
   Where (oi.FBegBal+oi.FDebit-oi.FCredit) = 0 and (oi.FBegQty+oi.FReceive-oi.FSend) <> 0 and oi.fitemid = duai.fitemid and oi.FAuxPropID = duai.FAuxPropID and oi.FStockID = duai.FStockID and oi.FKfPeriod= duai.FKfPeriod 
     and oi.FPeriodDate= duai.FPeriodDate and oi.FBatchNo= duai.FBatchNo 
     and oi.fitemid = aoi.fitemid and oi.FStockID = aoi.FStockID 
     and oi.FStockID=@FStockID
     and oi.FItemID=@fitemid
     and oi.FBatchNo=@FBatchNo
     and @qty <> 0 
 drop table #DUAT_CC_Bal 
 drop table #exp_CC_Bal 

GO
SET NOCOUNT ON Declare @CalculateType int 
select @CalculateType=isnull(FValue,1) from t_systemprofile where FCategory = 'IC' and FKey = 'CalculateType' 
select t.fitemid,(case when @CalculateType = 0 then 0 else t.FStockID end) as FStockID,sum(FQty) as FQty,sum(FSecQty) as FSecQty,sum(FAmount) as FBal  
  from vw_cc_Receive t 
  inner join t_ICItem s on t.FItemID=s.FItemID and s.FISBatchManager=1 and s.FBatchManager = 0 AND s.FTrack <> 80
Where t.FDate>='2025-03-01'
  And t.FDate<'2025-04-01'
  And Isnull(t.FStatus,0)<>0 and (t.FClassTypeID=1040008 or (t.FClassTypeID=1020004 and (FbillTypeID = 2040 or FbillTypeID = 2041))) 
group by t.fitemid,(case when @CalculateType = 0 then 0 else t.FStockID end) 
GO
Declare @Amount decimal(28,10)
 Declare @Qty decimal(28,10)
 Declare @fitemid int
 Declare @FBatchNo varchar(255)
 Declare @FStockID int
 select sum(FBegBal+FDebit-FCredit) AS FAmount,
 sum(FBegQty+FReceive-FSend) as FQty,
 t.fitemid,
 t.FAuxPropID,
 t.FBatchNo,
 t.FStockID,
 t.FKfPeriod,
 t.FPeriodDate
 into #DUAT_CC_Bal
 from #t_CC_Stock_BatchNo t
   inner join t_ICItem s on t.FItemID=s.FItemID and s.FISBatchManager=1 and s.FBatchManager = 0 AND s.FTrack <> 80 AND t.FBatchNo <> ''
 Where 
   t.FStockID=102
   and t.FItemID=1008
 group by t.fitemid,t.FAuxPropID,t.FBatchNo,t.FStockID,t.FKfPeriod,t.FPeriodDate  
 select @Amount=sum(FBegBal+FDebit-FCredit),
 @Qty=sum(FBegQty+FReceive-FSend), 
 @fitemid=t.fitemid,
 @FStockID=t.FStockID
 from #t_CC_Stock_BatchNo t
   inner join t_ICItem s on t.FItemID=s.FItemID and s.FISBatchManager=1 and s.FBatchManager = 0 AND s.FTrack <> 80 AND t.FBatchNo <> ''
 Where 
   t.FStockID=102
   and t.FItemID=1008
 group by t.fitemid,t.FStockID  
 select distinct oi.fitemid,oi.FStockID
   into #exp_CC_Bal 
   from #t_CC_Stock_BatchNo oi, #DUAT_CC_Bal duai 
   Where (oi.FBegBal+oi.FDebit-oi.FCredit) <> 0 and oi.fitemid = duai.fitemid and oi.FAuxPropID = duai.FAuxPropID and oi.FStockID = duai.FStockID and oi.FKfPeriod= duai.FKfPeriod 
     and oi.FPeriodDate= duai.FPeriodDate and oi.FBatchNo= duai.FBatchNo 
     and oi.FStockID=@FStockID
     and oi.FItemID=@fitemid
   update oi set oi.FDebit = oi.FDebit + round(((30) * (duai.FAmount) / (@Amount)),2)
   from #t_CC_Stock_BatchNo oi, #DUAT_CC_Bal duai 
   Where (oi.FBegBal+oi.FDebit-oi.FCredit) <> 0 and oi.fitemid = duai.fitemid and oi.FAuxPropID = duai.FAuxPropID and oi.FStockID = duai.FStockID and oi.FKfPeriod= duai.FKfPeriod 
     and oi.FPeriodDate= duai.FPeriodDate and oi.FBatchNo= duai.FBatchNo 
     and oi.FStockID=@FStockID
     and oi.FItemID=@fitemid
     and @Amount <> 0 
   delete  oi 
   from #T_CC_InventoryAll oi, #exp_CC_Bal doi 
   Where oi.fitemid = doi.fitemid and oi.FStockID = doi.FStockID 
     and oi.FStockID=@FStockID
     and oi.FItemID=@fitemid
   update oi set oi.FDebit = oi.FDebit + round(((30) * (duai.FQty) / (@qty)),10)
   from #t_CC_Stock_BatchNo oi, #DUAT_CC_Bal duai, #T_CC_InventoryAll aoi 
   Where (oi.FBegBal+oi.FDebit-oi.FCredit) = 0 and (oi.FBegQty+oi.FReceive-oi.FSend) <> 0 and oi.fitemid = duai.fitemid and oi.FAuxPropID = duai.FAuxPropID and oi.FStockID = duai.FStockID and oi.FKfPeriod= duai.FKfPeriod 
     and oi.FPeriodDate= duai.FPeriodDate and oi.FBatchNo= duai.FBatchNo 
     and oi.fitemid = aoi.fitemid and oi.FStockID = aoi.FStockID 
     and oi.FStockID=@FStockID
     and oi.FItemID=@fitemid
     and @qty <> 0 
 drop table #DUAT_CC_Bal 
 drop table #exp_CC_Bal 

GO
SET NOCOUNT ON Declare @CalculateType int 
select @CalculateType=isnull(FValue,1) from t_systemprofile where FCategory = 'IC' and FKey = 'CalculateType' 
select t.fitemid,(case when @CalculateType = 0 then 0 else t.FStockID end) as FStockID,sum(FQty) as FQty,sum(FSecQty) as FSecQty,sum(FAmount) as FBal  
  from vw_cc_Receive t 
  inner join t_ICItem s on t.FItemID=s.FItemID and s.FISBatchManager=0 and s.FISAuxi = 1
Where t.FDate>='2025-03-01'
  And t.FDate<'2025-04-01'
  And Isnull(t.FStatus,0)<>0 and (t.FClassTypeID=1040008 or (t.FClassTypeID=1020004 and (FbillTypeID = 2040 or FbillTypeID = 2041))) 
group by t.fitemid,(case when @CalculateType = 0 then 0 else t.FStockID end) 
GO
Declare @Amount decimal(28,10)
 Declare @Qty decimal(28,10)
 Declare @fitemid int
 Declare @FBatchNo varchar(255)
 Declare @FStockID int
 select sum(FBegBal+FDebit-FCredit) AS FAmount,
 sum(FBegQty+FReceive-FSend) as FQty,
 t.fitemid,
 t.FAuxPropID,
 t.FBatchNo,
 t.FStockID,
 t.FKfPeriod,
 t.FPeriodDate
 into #DUAT_CC_Bal
 from #t_CC_Stock_BatchNo t
   inner join t_ICItem s on t.FItemID=s.FItemID and s.FISBatchManager=0 and s.FISAuxi = 1
 Where 
   t.FStockID=101
   and t.FItemID=1002
 group by t.fitemid,t.FAuxPropID,t.FBatchNo,t.FStockID,t.FKfPeriod,t.FPeriodDate  
 select @Amount=sum(FBegBal+FDebit-FCredit),
 @Qty=sum(FBegQty+FReceive-FSend), 
 @fitemid=t.fitemid,
 @FStockID=t.FStockID
 from #t_CC_Stock_BatchNo t
   inner join t_ICItem s on t.FItemID=s.FItemID and s.FISBatchManager=0 and s.FISAuxi = 1
 Where 
   t.FStockID=101
   and t.FItemID=1002
 group by t.fitemid,t.FStockID  
 select distinct oi.fitemid,oi.FStockID
   into #exp_CC_Bal 
   from #t_CC_Stock_BatchNo oi, #DUAT_CC_Bal duai 
   Where (oi.FBegBal+oi.FDebit-oi.FCredit) <> 0 and oi.fitemid = duai.fitemid and oi.FAuxPropID = duai.FAuxPropID and oi.FStockID = duai.FStockID and oi.FKfPeriod= duai.FKfPeriod 
     and oi.FPeriodDate= duai.FPeriodDate 
     and oi.FStockID=@FStockID
     and oi.FItemID=@fitemid
   update oi set oi.FDebit = oi.FDebit + round(((50) * (duai.FAmount) / (@Amount)),2)
   from #t_CC_Stock_BatchNo oi, #DUAT_CC_Bal duai 
   Where (oi.FBegBal+oi.FDebit-oi.FCredit) <> 0 and oi.fitemid = duai.fitemid and oi.FAuxPropID = duai.FAuxPropID and oi.FStockID = duai.FStockID and oi.FKfPeriod= duai.FKfPeriod 
     and oi.FPeriodDate= duai.FPeriodDate 
     and oi.FStockID=@FStockID
     and oi.FItemID=@fitemid
     and @Amount <> 0 
   delete  oi 
   from #T_CC_InventoryAll oi, #exp_CC_Bal doi 
   Where oi.fitemid = doi.fitemid and oi.FStockID = doi.FStockID 
     and oi.FStockID=@FStockID
     and oi.FItemID=@fitemid
   update oi set oi.FDebit = oi.FDebit + round(((50) * (duai.FQty) / (@qty)),10)
   from #t_CC_Stock_BatchNo oi, #DUAT_CC_Bal duai, #T_CC_InventoryAll aoi 
   Where (oi.FBegBal+oi.FDebit-oi.FCredit) = 0 and (oi.FBegQty+oi.FReceive-oi.FSend) <> 0 and oi.fitemid = duai.fitemid and oi.FAuxPropID = duai.FAuxPropID and oi.FStockID = duai.FStockID and oi.FKfPeriod= duai.FKfPeriod 
     and oi.FPeriodDate= duai.FPeriodDate 
     and oi.fitemid = aoi.fitemid and oi.FStockID = aoi.FStockID 
     and oi.FStockID=@FStockID
     and oi.FItemID=@fitemid
     and @qty <> 0 
 drop table #DUAT_CC_Bal 
 drop table #exp_CC_Bal 

GO
SET NOCOUNT ON Declare @CalculateType int 
select @CalculateType=isnull(FValue,1) from t_systemprofile where FCategory = 'IC' and FKey = 'CalculateType' 
select t.fitemid,(case when @CalculateType = 0 then 0 else t.FStockID end) as FStockID,sum(FQty) as FQty,sum(FSecQty) as FSecQty,sum(FAmount) as FBal  
  from vw_cc_Receive t 
  inner join t_ICItem s on t.FItemID=s.FItemID and s.FISBatchManager=0 and s.FISAuxi = 0 AND s.FISKFPeriod = 1
Where t.FDate>='2025-03-01'
  And t.FDate<'2025-04-01'
  And Isnull(t.FStatus,0)<>0 and (t.FClassTypeID=1040008 or (t.FClassTypeID=1020004 and (FbillTypeID = 2040 or FbillTypeID = 2041))) 
group by t.fitemid,(case when @CalculateType = 0 then 0 else t.FStockID end) 
GO
Declare @Amount decimal(28,10)
 Declare @Qty decimal(28,10)
 Declare @fitemid int
 Declare @FBatchNo varchar(255)
 Declare @FStockID int
 select sum(FBegBal+FDebit-FCredit) AS FAmount,
 sum(FBegQty+FReceive-FSend) as FQty,
 t.fitemid,
 t.FAuxPropID,
 t.FBatchNo,
 t.FStockID,
 t.FKfPeriod,
 t.FPeriodDate
 into #DUAT_CC_Bal
 from #t_CC_Stock_BatchNo t
   inner join t_ICItem s on t.FItemID=s.FItemID and s.FISBatchManager=0 and s.FISAuxi = 0 AND s.FISKFPeriod = 1
 Where 
   t.FStockID=103
   and t.FItemID=1004
 group by t.fitemid,t.FAuxPropID,t.FBatchNo,t.FStockID,t.FKfPeriod,t.FPeriodDate  
 select @Amount=sum(FBegBal+FDebit-FCredit),
 @Qty=sum(FBegQty+FReceive-FSend), 
 @fitemid=t.fitemid,
 @FStockID=t.FStockID
 from #t_CC_Stock_BatchNo t
   inner join t_ICItem s on t.FItemID=s.FItemID and s.FISBatchManager=0 and s.FISAuxi = 0 AND s.FISKFPeriod = 1
 Where 
   t.FStockID=103
   and t.FItemID=1004
 group by t.fitemid,t.FStockID  
 select distinct oi.fitemid,oi.FStockID
   into #exp_CC_Bal 
   from #t_CC_Stock_BatchNo oi, #DUAT_CC_Bal duai 
   Where (oi.FBegBal+oi.FDebit-oi.FCredit) <> 0 and oi.fitemid = duai.fitemid and oi.FAuxPropID = duai.FAuxPropID and oi.FStockID = duai.FStockID and oi.FKfPeriod= duai.FKfPeriod 
     and oi.FPeriodDate= duai.FPeriodDate 
     and oi.FStockID=@FStockID
     and oi.FItemID=@fitemid
   update oi set oi.FDebit = oi.FDebit + round(((-20) * (duai.FAmount) / (@Amount)),2)
   from #t_CC_Stock_BatchNo oi, #DUAT_CC_Bal duai 
   Where (oi.FBegBal+oi.FDebit-oi.FCredit) <> 0 and oi.fitemid = duai.fitemid and oi.FAuxPropID = duai.FAuxPropID and oi.FStockID = duai.FStockID and oi.FKfPeriod= duai.FKfPeriod 
     and oi.FPeriodDate= duai.FPeriodDate 
     and oi.FStockID=@FStockID
     and oi.FItemID=@fitemid
     and @Amount <> 0 
   delete  oi 
   from #T_CC_InventoryAll oi, #exp_CC_Bal doi 
   Where oi.fitemid = doi.fitemid and oi.FStockID = doi.FStockID 
     and oi.FStockID=@FStockID
     and oi.FItemID=@fitemid
   update oi set oi.FDebit = oi.FDebit + round(((-20) * (duai.FQty) / (@qty)),10)
   from #t_CC_Stock_BatchNo oi, #DUAT_CC_Bal duai, #T_CC_InventoryAll aoi 
   Where (oi.FBegBal+oi.FDebit-oi.FCredit) = 0 and (oi.FBegQty+oi.FReceive-oi.FSend) <> 0 and oi.fitemid = duai.fitemid and oi.FAuxPropID = duai.FAuxPropID and oi.FStockID = duai.FStockID and oi.FKfPeriod= duai.FKfPeriod 
     and oi.FPeriodDate= duai.FPeriodDate 
     and oi.fitemid = aoi.fitemid and oi.FStockID = aoi.FStockID 
     and oi.FStockID=@FStockID
     and oi.FItemID=@fitemid
     and @qty <> 0 
 drop table #DUAT_CC_Bal 
 drop table #exp_CC_Bal 

GO
SET NOCOUNT ON Declare @CalculateType int 
select @CalculateType=isnull(FValue,1) from t_systemprofile where FCategory = 'IC' and FKey = 'CalculateType' 
select t.fitemid,(case when @CalculateType = 0 then 0 else t.FStockID end) as FStockID,sum(FQty) as FQty,sum(FSecQty) as FSecQty,sum(FAmount) as FBal  
  from vw_cc_Receive t 
  inner join t_ICItem s on t.FItemID=s.FItemID and s.FISBatchManager=0 and s.FISAuxi = 0 AND s.FISKFPeriod = 0
Where t.FDate>='2025-03-01'
  And t.FDate<'2025-04-01'
  And Isnull(t.FStatus,0)<>0 and (t.FClassTypeID=1040008 or (t.FClassTypeID=1020004 and (FbillTypeID = 2040 or FbillTypeID = 2041))) 
group by t.fitemid,(case when @CalculateType = 0 then 0 else t.FStockID end) 
GO
Declare @Amount decimal(28,10)
 Declare @Qty decimal(28,10)
 Declare @fitemid int
 Declare @FBatchNo varchar(255)
 Declare @FStockID int
 select sum(FBegBal+FDebit-FCredit) AS FAmount,
 sum(FBegQty+FReceive-FSend) as FQty,
 t.fitemid,
 t.FAuxPropID,
 t.FBatchNo,
 t.FStockID,
 t.FKfPeriod,
 t.FPeriodDate
 into #DUAT_CC_Bal
 from #t_CC_Stock_BatchNo t
   inner join t_ICItem s on t.FItemID=s.FItemID and s.FISBatchManager=0 and s.FISAuxi = 0 AND s.FISKFPeriod = 0
 Where 
   t.FStockID=101
   and t.FItemID=1001
 group by t.fitemid,t.FAuxPropID,t.FBatchNo,t.FStockID,t.FKfPeriod,t.FPeriodDate  
 select @Amount=sum(FBegBal+FDebit-FCredit),
 @Qty=sum(FBegQty+FReceive-FSend), 
 @fitemid=t.fitemid,
 @FStockID=t.FStockID
 from #t_CC_Stock_BatchNo t
   inner join t_ICItem s on t.FItemID=s.FItemID and s.FISBatchManager=0 and s.FISAuxi = 0 AND s.FISKFPeriod = 0
 Where 
   t.FStockID=101
   and t.FItemID=1001
 group by t.fitemid,t.FStockID  
 select distinct oi.fitemid,oi.FStockID
   into #exp_CC_Bal 
   from #t_CC_Stock_BatchNo oi, #DUAT_CC_Bal duai 
   Where (oi.FBegBal+oi.FDebit-oi.FCredit) <> 0 and oi.fitemid = duai.fitemid and oi.FAuxPropID = duai.FAuxPropID and oi.FStockID = duai.FStockID and oi.FKfPeriod= duai.FKfPeriod 
     and oi.FPeriodDate= duai.FPeriodDate 
     and oi.FStockID=@FStockID
     and oi.FItemID=@fitemid
   update oi set oi.FDebit = oi.FDebit + round(((116.5) * (duai.FAmount) / (@Amount)),2)
   from #t_CC_Stock_BatchNo oi, #DUAT_CC_Bal duai 
   Where (oi.FBegBal+oi.FDebit-oi.FCredit) <> 0 and oi.fitemid = duai.fitemid and oi.FAuxPropID = duai.FAuxPropID and oi.FStockID = duai.FStockID and oi.FKfPeriod= duai.FKfPeriod 
     and oi.FPeriodDate= duai.FPeriodDate 
     and oi.FStockID=@FStockID
     and oi.FItemID=@fitemid
     and @Amount <> 0 
   delete  oi 
   from #T_CC_InventoryAll oi, #exp_CC_Bal doi 
   Where oi.fitemid = doi.fitemid and oi.FStockID = doi.FStockID 
     and oi.FStockID=@FStockID
     and oi.FItemID=@fitemid
   update oi set oi.FDebit = oi.FDebit + round(((116.5) * (duai.FQty) / (@qty)),10)
   from #t_CC_Stock_BatchNo oi, #DUAT_CC_Bal duai, #T_CC_InventoryAll aoi 
   Where (oi.FBegBal+oi.FDebit-oi.FCredit) = 0 and (oi.FBegQty+oi.FReceive-oi.FSend) <> 0 and oi.fitemid = duai.fitemid and oi.FAuxPropID = duai.FAuxPropID and oi.FStockID = duai.FStockID and oi.FKfPeriod= duai.FKfPeriod 
     and oi.FPeriodDate= duai.FPeriodDate 
     and oi.fitemid = aoi.fitemid and oi.FStockID = aoi.FStockID 
     and oi.FStockID=@FStockID
     and oi.FItemID=@fitemid
     and @qty <> 0 
 drop table #DUAT_CC_Bal 
 drop table #exp_CC_Bal 

GO
drop table #T_CC_InventoryAll 
GO
Delete From t_CC_Stock_BatchNo Where FYear=2025 And FPeriod=3
Insert Into t_CC_Stock_BatchNo(FYear,FPeriod,FStockID,FItemID,FBatchNo,FAuxPropID,FBegQty,FSecBegQty,FBegBal,FReceive,FSecReceive,FDebit,FSend,FSecSend,FCredit,FKFDate,FKFPeriod,FPeriodDate)
Select 2025,3,FStockID,FItemID,FBatchNo,FAuxPropID,Sum(FBegQty),
Sum(FSecBegQty),Sum(FBegBal),Sum(FReceive),Sum(FSecReceive),
Sum(FDebit),Sum(FSend),Sum(FSecSend),Sum(FCredit),FPeriodDate-FKFPeriod,FKFPeriod,FPeriodDate
From #t_CC_Stock_BatchNo Group By FStockID,FItemID,FBatchNo,FAuxPropID,FKFPeriod,FPeriodDate
If Object_ID('tempdb..#t_CC_Stock_BatchNo') Is Not Null Drop Table #t_CC_Stock_BatchNo 
If Object_ID('tempdb..#TmpBal_2_2') Is Not Null Drop Table #TmpBal_2_2 
GO
Update t_CC_Stock_BatchNo Set FDebit = ROUND(FDebit, 2), FEndBal = ROUND(FEndBal, 2) 
Where FDebit <> 0 and FYear=2025 And FPeriod=3
GO
Update t_CC_Stock_BatchNo Set FEndQty=FBegQty+FReceive-FSend,FSecEndQty=FSecBegQty+FSecReceive-FSecSend,FEndBal=FBegBal+FDebit-FCredit
Where FYear=2025 And FPeriod=3
GO
SET NOCOUNT ON 
select identity(int,1,1) as FIndex, a.FYear,a.FPeriod,a.FStockID,a.FItemID,a.FBatchNo,a.FAuxPropID,a.FKFPeriod,a.FKFDate, a.FDebit, a.FEndBal, aa.FDebitSum, aa.FEndBalSum
INTO #t_CC_Stock_BatchNo01
from t_CC_Stock_BatchNo a inner join (
  select a.FYear,a.FPeriod,a.FStockID,a.FItemID,a.FAuxPropID,max(a.FDebit) as FDebit,sum(a.FDebit) as FDebitSum,sum(a.FEndBal) as FEndBalSum
  from t_CC_Stock_BatchNo a inner join t_icitem b on a.fitemid = b.fitemid and b.FTrack <> 80
  group by a.FYear,a.FPeriod,a.FStockID,a.FItemID,a.FAuxPropID
) aa on a.FYear = aa.FYear and a.FPeriod = aa.FPeriod and a.FStockID = aa.FStockID and a.FItemID = aa.FItemID and a.FAuxPropID = aa.FAuxPropID and a.FDebit = aa.FDebit and a.FDebit <> 0
where a.FYear = 2025 and a.FPeriod = 3
SELECT max(a.FIndex) as FIndex, a.FYear,a.FPeriod,a.FStockID,a.FItemID,a.FAuxPropID 
INTO #t_CC_Stock_BatchNo02 
FROM #t_CC_Stock_BatchNo01 a group by a.FYear,a.FPeriod,a.FStockID,a.FItemID,a.FAuxPropID
update t set t.FDebit = t.FDebit + (isnull(tts.FEndBal,0) - aa.FEndBalSum), t.FEndBal = t.FEndBal + (isnull(tts.FEndBal,0) - aa.FEndBalSum)
from t_CC_Stock_BatchNo t 
inner join #t_CC_Stock_BatchNo01 aa on t.FYear = aa.FYear and t.FPeriod = aa.FPeriod and t.FStockID = aa.FStockID and t.FItemID = aa.FItemID and t.FBatchNo = aa.FBatchNo and t.FAuxPropID = aa.FAuxPropID and t.FKFPeriod = aa.FKFPeriod and t.FKFDate = aa.FKFDate
inner join #t_CC_Stock_BatchNo02 tt on aa.FYear = tt.FYear and aa.FPeriod = tt.FPeriod and aa.FStockID = tt.FStockID and aa.FItemID = tt.FItemID and aa.FAuxPropID = tt.FAuxPropID and tt.FIndex = aa.FIndex
left join t_CC_Stock tts on t.FYear = tts.FYear and t.FPeriod = tts.FPeriod and t.FStockID = tts.FStockID and t.FItemID = tts.FItemID and t.FAuxPropID = tts.FAuxPropID
 drop table #t_CC_Stock_BatchNo01 
 drop table #t_CC_Stock_BatchNo02 
GO
Update T_CC_Inventory Set FBal = ROUND(FBal, 2) 
Where FBal <> 0 
GO
Select IsNull(FValue,'') from t_SystemProFile where Fcategory='IC' and Fkey='CurrentPeriod'
GO
Select IsNull(FValue,'') from t_SystemProFile where Fcategory='IC' and Fkey='CurrentYear'
GO
Insert Into t_CC_Stock_BatchNo(FYear,FPeriod,FStockID,FItemID,FBatchNo,FAuxPropID,FBegQty,FSecBegQty,FBegBal,FKFDate,FKFPeriod,FPeriodDate)
Select 2025,4,FStockID,FItemID,FBatchNo,FAuxPropID,FEndQty,FSecEndQty,FEndBal,FKFDate,FKFPeriod,FPeriodDate
From t_CC_Stock_BatchNo 
Where FYear=2025 And FPeriod=3
GO
