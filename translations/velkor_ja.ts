<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>ReportTexts</name>
    <message>
        <source>p &lt; 0.0001</source>
        <translation>p &lt; 0.0001</translation>
    </message>
    <message>
        <source>p = %1</source>
        <translation>p = %1</translation>
    </message>
    <message>
        <source>always buying</source>
        <translation>常に買い</translation>
    </message>
    <message>
        <source>always selling</source>
        <translation>常に売り</translation>
    </message>
    <message>
        <source>persistence (the base bar&apos;s move goes on)</source>
        <translation>持続 (基準足の動きが続く)</translation>
    </message>
    <message>
        <source>Period %1: no verified forecast yet.</source>
        <translation>%1期: 検証済みの予測はまだありません。</translation>
    </message>
    <message>
        <source>, worth %1 independent forecasts as they overlap</source>
        <translation>、重なりのため独立な予測 %1 件分</translation>
    </message>
    <message>
        <source>Period %1: %2 hits in %3 verified forecasts (%4, 95 % interval %5 to %6%7) </source>
        <translation>%1期: 検証済み %3 件中 %2 件的中 (%4、95 % 区間 %5 ～ %6%7)、</translation>
    </message>
    <message>
        <source>beat chance at 5 % (%1 after Holm&apos;s adjustment across the periods)</source>
        <translation>5 % 水準で偶然を上回ります (期をまたぐ Holm 調整後 %1)</translation>
    </message>
    <message>
        <source>are not distinguishable from chance at 5 % (%1 after Holm&apos;s adjustment across the periods)</source>
        <translation>5 % 水準で偶然と区別できません (期をまたぐ Holm 調整後 %1)</translation>
    </message>
    <message>
        <source>, and at this rate about %1 independent forecasts would be needed to tell it from 50 %</source>
        <translation>。この的中率なら 50 % と区別するには独立な予測が約 %1 件必要です</translation>
    </message>
    <message>
        <source>level with %1 (%2)</source>
        <translation>%1 と同じ (%2)</translation>
    </message>
    <message>
        <source>significantly worse than %1 (%2, %3)</source>
        <translation>%1 より有意に悪い (%2、%3)</translation>
    </message>
    <message>
        <source>worse than %1 (%2, %3, not significant)</source>
        <translation>%1 より悪い (%2、%3、有意でない)</translation>
    </message>
    <message>
        <source>significantly better than %1 (%2, %3)</source>
        <translation>%1 より有意に良い (%2、%3)</translation>
    </message>
    <message>
        <source>better than %1 (%2, %3, not significant)</source>
        <translation>%1 より良い (%2、%3、有意でない)</translation>
    </message>
    <message>
        <source>no Diebold-Mariano test: the long-run variance is not positive</source>
        <translation>長期分散が正でないため Diebold-Mariano 検定なし</translation>
    </message>
    <message>
        <source>as far off as no change (mean absolute error %1 thousandths of a yen)</source>
        <translation>変化なしと同じだけ外れています (平均絶対誤差 %1 (1/1000円))</translation>
    </message>
    <message>
        <source>significantly further off than no change (mean absolute error %1 against %2, %3)</source>
        <translation>変化なしより有意に外れています (平均絶対誤差 %1 対 %2、%3)</translation>
    </message>
    <message>
        <source>further off than no change (mean absolute error %1 against %2, %3, not significant)</source>
        <translation>変化なしより外れています (平均絶対誤差 %1 対 %2、%3、有意でない)</translation>
    </message>
    <message>
        <source>significantly closer than no change (mean absolute error %1 against %2, %3)</source>
        <translation>変化なしより有意に近い (平均絶対誤差 %1 対 %2、%3)</translation>
    </message>
    <message>
        <source>closer than no change (mean absolute error %1 against %2, %3, not significant)</source>
        <translation>変化なしより近い (平均絶対誤差 %1 対 %2、%3、有意でない)</translation>
    </message>
    <message>
        <source>; </source>
        <translation>。</translation>
    </message>
    <message>
        <source>.</source>
        <translation>。</translation>
    </message>
    <message>
        <source>%1: of %2 periods, %3 beat chance, %4 beat all three naive rules and %5 came closer than no change (at 5 %, Holm-adjusted across the periods, overlapping forecasts allowed for).</source>
        <translation>%1: %2 期のうち、偶然を上回ったのは %3 期、三つの単純な規則すべてを上回ったのは %4 期、変化なしより近かったのは %5 期です (5 % 水準、期をまたぐ Holm 調整、予測の重なりを考慮)。</translation>
    </message>
    <message>
        <source> No period shows skill beyond chance, the naive rules and the random walk.</source>
        <translation>偶然・単純な規則・ランダムウォークのすべてを上回る期はありません。</translation>
    </message>
    <message>
        <source> Skill against all of them: period(s) %1.</source>
        <translation>そのすべてを上回る期: %1。</translation>
    </message>
    <message>
        <source>%1: no verified forecast yet.</source>
        <translation>%1: 検証済みの予測はまだありません。</translation>
    </message>
    <message>
        <source>%1: %2 holds no verified forecast; nothing to evaluate</source>
        <translation>%1: %2 に検証済みの予測がありません。評価するものがありません</translation>
    </message>
    <message>
        <source>Hit rate against chance, overlapping forecasts allowed for:</source>
        <translation>偶然に対する的中率 (予測の重なりを考慮):</translation>
    </message>
    <message>
        <source>period      n  effective n  p overlap   95 % interval (overlap)  p Holm</source>
        <translation>  期番      n    実効 n    p 重なり      95 % 区間 (重なり)  p Holm</translation>
    </message>
    <message>
        <source>Price error against the random walk (no change), thousandths of a yen; Diebold-Mariano with the Harvey-Leybourne-Newbold correction, positive when the forecast is further off:</source>
        <translation>ランダムウォーク (変化なし) に対する価格誤差 (1/1000円)。Diebold-Mariano 検定 (Harvey-Leybourne-Newbold 補正)、予測の方が外れているとき正:</translation>
    </message>
    <message>
        <source>period      MAE  no change  ratio     RMSE  no change  Theil U   DM sq.  p 2-sided  p better   DM abs.  p 2-sided  p better</source>
        <translation>  期番      MAE   変化なし     比     RMSE   変化なし  Theil U   DM 二乗   p 両側    p 優位   DM 絶対   p 両側    p 優位</translation>
    </message>
    <message>
        <source>Direction against the naive rules on the same base bars (hits, rate; exact McNemar: forecast only, rule only, p with overlap allowed for):</source>
        <translation>同じ基準足での単純な規則に対する方向 (的中数、率。正確 McNemar 検定: 予測のみ的中、規則のみ的中、重なりを考慮した p):</translation>
    </message>
    <message>
        <source>period  always up                        always down                      persistence</source>
        <translation>  期番  常に買い                         常に売り                         持続</translation>
    </message>
    <message>
        <source>Verdict:</source>
        <translation>判定:</translation>
    </message>
    <message>
        <source>not positive</source>
        <translation>正でない</translation>
    </message>
    <message>
        <source>evaluate %1: the live record of %2, %3 runs from %4 to %5, %6 periods pending</source>
        <translation>evaluate %1: %2 の実記録、%4 から %5 までの %3 回の予測、未検証 %6 期</translation>
    </message>
    <message>
        <source>Backtest %1: %2 to %3, every %4, %5 steps, seed %6, %7 passes, %8 read days</source>
        <translation>バックテスト %1: %2 ～ %3、%4 本ごと、%5 ステップ、シード %6、学習 %7 回、読込 %8 日</translation>
    </message>
    <message>
        <source>Live record %1: %2 runs, %3 to %4</source>
        <translation>実記録 %1: %2 回の予測、%3 ～ %4</translation>
    </message>
    <message>
        <source>Period %1: %2 verified (worth %3), hit rate %4</source>
        <translation>%1期: 検証 %2 件 (実効 %3)、的中率 %4</translation>
    </message>
    <message>
        <source>hit rate</source>
        <translation>的中率</translation>
    </message>
    <message>
        <source>95 % band (overlap allowed for)</source>
        <translation>95 % 帯 (重なりを考慮)</translation>
    </message>
    <message>
        <source>always up</source>
        <translation>常に買い</translation>
    </message>
    <message>
        <source>persistence</source>
        <translation>持続</translation>
    </message>
    <message>
        <source>50 %</source>
        <translation>50 %</translation>
    </message>
    <message>
        <source>hit rate %</source>
        <translation>的中率 %</translation>
    </message>
    <message>
        <source>base bar (local time)</source>
        <translation>基準足 (ローカル時刻)</translation>
    </message>
</context>
<context>
    <name>texts</name>
    <message>
        <source>No bar of %1 was read.</source>
        <translation>%1 の足は 1 本も読み込まれませんでした。</translation>
    </message>
    <message>
        <source>Only %1 bars of %2 were read (%3 to %4).</source>
        <translation>%2 の足は %1 本しか読み込まれていません (%3 から %4)。</translation>
    </message>
    <message>
        <source>A forecast needs at least %1 (its scaling window of %2 bars and %3 periods). Raise the read days, put a quote file with more recent bars into the data folder, or count the read days back from the file&apos;s last day (--today). [%4]</source>
        <translation>予測には %1 本以上 (範囲の %2 本と予測 %3 期分) が必要です。読込日数を増やすか、新しい足のある相場ファイルをデータフォルダに置くか、読込日数をファイルの最後の日から数えてください (--today)。 [%4]</translation>
    </message>
    <message>
        <source>%1 ends with a bar of %2, but today is %3: its %4 read days brought in only %5 bars. Put a quote file with recent bars into the data folder, or count the read days back from its last day (--today %6).</source>
        <translation>%1 の最後の足は %2 ですが、今日は %3 です: 読込日数 %4 日で読み込めたのは %5 本だけです。新しい足のある相場ファイルをデータフォルダに置くか、読込日数を最後の日から数えてください (--today %6)。</translation>
    </message>
    <message numerus="yes">
        <source>%1: %n row(s) written</source>
        <translation>
            <numerusform>%1: %n 行を書き出しました</numerusform>
        </translation>
    </message>
</context>
</TS>
